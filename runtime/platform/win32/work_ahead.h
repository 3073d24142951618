// A second thread that makes a BufferMaker's buffers ahead of their use.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/platform.h"

namespace plinth::platform::win32 {

// The running thread, or nothing when CreateThread fails.
std::unique_ptr<WorkAhead> start_work_ahead(BufferMaker& maker, std::size_t budget);

}  // namespace plinth::platform::win32
