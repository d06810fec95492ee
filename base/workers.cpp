// Implementation notes.
//
// A bounded ring of tasks behind one lock and three counting semaphores:
// room (the submitter waits on it when the ring is full), queued tasks (the
// workers wait on it) and "all done" (Wait). A worker leaves when it
// takes an empty task, which only the destructor queues. The semaphores
// keep their count in user space and put a thread to sleep only when it
// must wait, on a condition variable (Windows Vista's, the oldest system the
// programs' manifest names): under Wine that sleeps on a futex, where a
// kernel semaphore took a round trip to the single-threaded server for
// every sleep and every wake, several hundred on the reference payload. The
// native build takes the lock and the place to sleep from the standard
// library.
#ifdef _WIN32
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include "base/workers.h"

#include <atomic>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <process.h>

#include "base/owned.h"
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace {

#ifdef _WIN32
class Lock {
public:
    Lock() { InitializeCriticalSection(&section_); }
    ~Lock() { DeleteCriticalSection(&section_); }
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Where a thread sleeps until another wakes it.
class Sleepers {
public:
    Sleepers()
    {
        InitializeSRWLock(&lock_);
        InitializeConditionVariable(&woken_);
    }
    void Sleep()
    {
        AcquireSRWLockExclusive(&lock_);
        while (wakes_ == 0) SleepConditionVariableSRW(&woken_, &lock_, INFINITE, 0);
        --wakes_;
        ReleaseSRWLockExclusive(&lock_);
    }
    void WakeOne()
    {
        AcquireSRWLockExclusive(&lock_);
        ++wakes_;
        ReleaseSRWLockExclusive(&lock_);
        WakeConditionVariable(&woken_);
    }

private:
    SRWLOCK lock_;
    CONDITION_VARIABLE woken_;
    int wakes_ = 0;
};
#else
class Lock {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// The same from the standard library, so that the native build (and
// ThreadSanitizer) runs the semaphore below as the programs do.
class Sleepers {
public:
    void Sleep()
    {
        std::unique_lock<std::mutex> hold(mutex_);
        woken_.wait(hold, [this] { return wakes_ > 0; });
        --wakes_;
    }
    void WakeOne()
    {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            ++wakes_;
        }
        woken_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakes_ = 0;
};
#endif

// A counting semaphore that calls the system only to put a thread to sleep
// or to wake one: the count lives here, and below zero it counts sleepers.
// Every wait and release of a kernel object is a round trip to the
// single-threaded server under Wine, and the pool passes each file through
// two semaphores twice; a busy pool now passes them without one.
class Semaphore {
public:
    explicit Semaphore(int count) : count_(count) {}
    void Acquire()
    {
        if (count_.fetch_sub(1) - 1 < 0) sleepers_.Sleep();
    }
    void Release()
    {
        if (count_.fetch_add(1) + 1 <= 0) sleepers_.WakeOne();
    }

private:
    std::atomic<long> count_;
    Sleepers sleepers_;
};

struct Task {
    WorkerPool::TaskFunction run;
    void *task;
};

} // namespace

struct WorkerPool::State {
    State(int capacity) : ring(static_cast<size_t>(capacity)), room(0), queued(0), allDone(0) {}

    std::vector<Task> ring;
    size_t head = 0;
    size_t count = 0;
    int pending = 0;       // submitted and not finished
    bool waiting = false;  // Wait is blocked on allDone
    bool full = false;     // Put is blocked on room
    Lock lock;
    Semaphore room;
    Semaphore queued;
    Semaphore allDone;
#ifdef _WIN32
    std::vector<OwnedHandle> threads;
#else
    std::vector<std::thread> threads;
#endif

    // A full ring wakes the submitter only once it is half empty again, not
    // for every slot that frees: a submitter faster than the workers would
    // otherwise sleep and wake once per task.
    void Put(const Task &task)
    {
        lock.Enter();
        while (count == ring.size()) {
            full = true;
            lock.Leave();
            room.Acquire();
            lock.Enter();
        }
        ring[(head + count) % ring.size()] = task;
        ++count;
        if (task.run != nullptr) ++pending;
        lock.Leave();
        queued.Release();
    }

    void Work()
    {
        for (;;) {
            queued.Acquire();
            lock.Enter();
            Task task = ring[head];
            head = (head + 1) % ring.size();
            --count;
            const bool roomNow = full && count <= ring.size() / 2;
            if (roomNow) full = false;
            lock.Leave();
            if (roomNow) room.Release();
            if (task.run == nullptr) return;
            task.run(task.task);
            lock.Enter();
            const bool wake = --pending == 0 && waiting;
            if (wake) waiting = false;
            lock.Leave();
            if (wake) allDone.Release();
        }
    }
};

namespace {

#ifdef _WIN32
unsigned __stdcall RunWorker(void *state)
{
    static_cast<WorkerPool::State *>(state)->Work();
    return 0;
}

// Reserved, not committed: the buffers of one entry live on this stack.
const unsigned kWorkerStack = 1024 * 1024;
#endif

} // namespace

int WorkerCount(int cap)
{
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    int processors = static_cast<int>(info.dwNumberOfProcessors);
#else
    int processors = static_cast<int>(std::thread::hardware_concurrency());
#endif
    if (processors > cap) processors = cap;
    return processors < 1 ? 1 : processors;
}

WorkerPool::WorkerPool(int threads, int capacity) : state_(nullptr)
{
    // Without memory the tasks run on the submitting thread.
    try {
        state_ = new State(capacity < 1 ? 1 : capacity);
        state_->threads.reserve(static_cast<size_t>(threads > 0 ? threads : 0));
    } catch (...) {
        delete state_;
        state_ = nullptr;
        return;
    }
    for (int i = 0; i < threads; ++i) {
#ifdef _WIN32
        uintptr_t thread = _beginthreadex(nullptr, kWorkerStack, RunWorker, state_,
                                          STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (thread == 0) break;
        state_->threads.emplace_back(reinterpret_cast<HANDLE>(thread));
#else
        try {
            state_->threads.emplace_back([this] { state_->Work(); });
        } catch (...) {
            break;
        }
#endif
    }
}

WorkerPool::~WorkerPool()
{
    if (state_ == nullptr) return;
    Wait();
    for (size_t i = 0; i < state_->threads.size(); ++i) state_->Put(Task{nullptr, nullptr});
#ifdef _WIN32
    for (OwnedHandle &thread : state_->threads) WaitForSingleObject(thread.get(), INFINITE);
#else
    for (std::thread &thread : state_->threads) thread.join();
#endif
    delete state_;
}

void WorkerPool::Submit(TaskFunction run, void *task)
{
    if (state_ == nullptr || state_->threads.empty()) {
        run(task);
        return;
    }
    state_->Put(Task{run, task});
}

void WorkerPool::Wait()
{
    if (state_ == nullptr) return;
    State &s = *state_;
    s.lock.Enter();
    const bool busy = s.pending > 0;
    if (busy) s.waiting = true;
    s.lock.Leave();
    if (busy) s.allDone.Acquire();
}

int WorkerPool::Threads() const
{
    return state_ != nullptr ? static_cast<int>(state_->threads.size()) : 0;
}
