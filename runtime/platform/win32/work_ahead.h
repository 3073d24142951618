// Second threads: one that makes a BufferMaker's buffers ahead of their use, and a plain worker.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/platform.h"

namespace plinth::platform::win32 {

// The running thread, or nothing when CreateThread fails.
std::unique_ptr<WorkAhead> start_work_ahead(BufferMaker& maker, std::size_t budget);

// work(data) on a thread of its own, or nothing when CreateThread fails.
std::unique_ptr<Worker> start_thread_worker(void (*work)(void*), void* data);

}  // namespace plinth::platform::win32
