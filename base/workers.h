// A small pool of worker threads for work that mostly waits on the file
// system (creating, writing and removing many files). Tasks are taken in the
// order they were submitted; the queue is bounded, so memory does not grow
// with the amount of work. Built on Win32 threads in the programs and on the
// C++ standard library natively (fuzzing, benchmarks).
#ifndef BASE_WORKERS_H
#define BASE_WORKERS_H

#include <cstddef>

// The most workers a pool starts, whatever the number of processors: the
// work is bounded by the file system, and each worker keeps its own buffers.
const int kMaxWorkers = 8;

// The number of processors, capped at `cap` and at least 1.
int WorkerCount(int cap);

class WorkerPool {
public:
    typedef void (*TaskFunction)(void *task);

    // Starts up to `threads` workers with room for `capacity` queued tasks
    // (both at least 1). When no thread can be started, Submit runs each task
    // itself, so the work is done either way.
    WorkerPool(int threads, int capacity);

    // Waits for every submitted task, then ends the workers.
    ~WorkerPool();

    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Hands `task` to `run` on a worker; waits while the queue is full. Only
    // one thread may submit and wait.
    void Submit(TaskFunction run, void *task);

    // Returns when every task submitted so far has finished.
    void Wait();

    // The workers that run (0 when tasks run on the submitting thread).
    int Threads() const;

    struct State;

private:
    State *state_;
};

#endif
