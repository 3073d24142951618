#include "platform/win32/locks.h"

#include <windows.h>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

class HeldMutex final : public HeldLock {
public:
    explicit HeldMutex(UniqueKernelHandle mutex) : mutex_(std::move(mutex)) {}
    ~HeldMutex() override { ReleaseMutex(mutex_.get()); }

private:
    UniqueKernelHandle mutex_;
};

}  // namespace

Expected<std::unique_ptr<HeldLock>, ErrorCode> Win32Locks::acquire(const std::u16string& name, std::uint32_t timeout_ms) {
    const std::u16string full_name = u"Local\\" + name;
    UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, wide(full_name)));
    if (!mutex) return unexpected(static_cast<ErrorCode>(GetLastError()));
    // An owner that ended without releasing it (WAIT_ABANDONED) leaves it to this one.
    const DWORD waited = WaitForSingleObject(mutex.get(), timeout_ms);
    if (waited == WAIT_TIMEOUT) return unexpected(ErrorCode{WAIT_TIMEOUT});
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return unexpected(static_cast<ErrorCode>(GetLastError()));
    return std::unique_ptr<HeldLock>(std::make_unique<HeldMutex>(std::move(mutex)));
}

}  // namespace plinth::platform::win32
