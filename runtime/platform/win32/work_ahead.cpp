#include "platform/win32/work_ahead.h"

#include <windows.h>

#include <array>
#include <new>

#include "platform/win32/unique_handle.h"

namespace plinth::platform::win32 {
namespace {

// Buffers made and not yet taken, at most: a few files of uneven sizes are smoothed over.
constexpr std::size_t kMaxAhead = 8;

struct Buffer {
    std::unique_ptr<std::uint8_t[]> room;  // exactly `size` bytes, when made
    std::size_t size = 0;
    bool made = false;
};

class ThreadWorkAhead final : public WorkAhead {
public:
    ThreadWorkAhead(BufferMaker& maker, std::size_t budget) : maker_(maker), budget_(budget) {}

    ~ThreadWorkAhead() override {
        if (!thread_) return;
        AcquireSRWLockExclusive(&lock_);
        stopping_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&changed_);
        WaitForSingleObject(thread_.get(), INFINITE);
    }

    bool start() {
        thread_.reset(CreateThread(nullptr, 0, &ThreadWorkAhead::run, this, 0, nullptr));
        return thread_.valid();
    }

    std::optional<std::span<const std::uint8_t>> next() override {
        std::optional<std::span<const std::uint8_t>> result;
        AcquireSRWLockExclusive(&lock_);
        held_ = {};  // the caller is done with it
        WakeAllConditionVariable(&changed_);
        while (waiting_ == 0 && !finished_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        if (waiting_ > 0) {
            held_ = std::move(ready_[first_]);
            first_ = (first_ + 1) % kMaxAhead;
            --waiting_;
            ready_bytes_ -= held_.size;
            if (held_.made) result = std::span<const std::uint8_t>(held_.room.get(), held_.size);
        }
        ReleaseSRWLockExclusive(&lock_);
        return result;
    }

private:
    static DWORD WINAPI run(void* self) {
        static_cast<ThreadWorkAhead*>(self)->make_all();
        return 0;
    }

    void make_all() {
        for (std::size_t index = 0; index < maker_.count(); ++index) {
            const std::size_t size = maker_.size_of(index);
            AcquireSRWLockExclusive(&lock_);
            while (!stopping_ && !room_for(size)) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            const bool stopping = stopping_;
            ReleaseSRWLockExclusive(&lock_);
            if (stopping) break;

            Buffer buffer;
            buffer.size = size;
            buffer.room.reset(new (std::nothrow) std::uint8_t[size]);
            buffer.made = buffer.room && maker_.make(index, std::span<std::uint8_t>(buffer.room.get(), size));
            const bool failed = !buffer.made;
            AcquireSRWLockExclusive(&lock_);
            ready_bytes_ += size;
            ready_[(first_ + waiting_++) % kMaxAhead] = std::move(buffer);
            ReleaseSRWLockExclusive(&lock_);
            WakeAllConditionVariable(&changed_);
            if (failed) break;
        }
        AcquireSRWLockExclusive(&lock_);
        finished_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&changed_);
    }

    // Whether a buffer of `size` may be made now: within the budget beside those waiting, or,
    // larger than that, when no other is held at all, the caller's included.
    bool room_for(std::size_t size) const {
        if (waiting_ == kMaxAhead) return false;
        return ready_bytes_ + size <= budget_ || (waiting_ == 0 && !held_.room);
    }

    BufferMaker& maker_;
    const std::size_t budget_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    // Under the lock:
    std::array<Buffer, kMaxAhead> ready_;  // a ring: `waiting_` buffers from `first_` on
    std::size_t first_ = 0;
    std::size_t waiting_ = 0;
    std::size_t ready_bytes_ = 0;
    Buffer held_;  // the caller's, until it asks for the next
    bool stopping_ = false;
    bool finished_ = false;
    UniqueKernelHandle thread_;  // last: the thread uses everything above
};

class ThreadWorker final : public Worker {
public:
    ThreadWorker(void (*work)(void*), void* data) : work_(work), data_(data) {}
    ~ThreadWorker() override {
        if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    }

    bool start() {
        thread_.reset(CreateThread(nullptr, 0, &ThreadWorker::run, this, 0, nullptr));
        return thread_.valid();
    }

    bool finished() override { return WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI run(void* self) {
        auto* worker = static_cast<ThreadWorker*>(self);
        worker->work_(worker->data_);
        return 0;
    }

    void (*const work_)(void*);
    void* const data_;
    UniqueKernelHandle thread_;
};

}  // namespace

std::unique_ptr<Worker> start_thread_worker(void (*work)(void*), void* data) {
    auto worker = std::make_unique<ThreadWorker>(work, data);
    if (!worker->start()) return nullptr;
    return worker;
}

std::unique_ptr<WorkAhead> start_work_ahead(BufferMaker& maker, std::size_t budget) {
    auto work = std::make_unique<ThreadWorkAhead>(maker, budget);
    if (!work->start()) return nullptr;
    return work;
}

}  // namespace plinth::platform::win32
