// Threads that run the tasks handed to them, in the order they came.
//
// The owner's thread may run queued tasks itself while it waits for one
// (RunOne), so a pool of N - 1 workers and its owner keep N threads busy.
// The pool knows nothing of what its tasks do: a task must not throw, and
// must not call back into the host (progress, diagnostics, the cancel
// flag's owner), which lives on the owner's thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    explicit WorkerPool(int workers);
    // Runs what is queued, then joins the workers.
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    int workers() const { return static_cast<int>(threads_.size()); }
    void Submit(std::function<void()> task);
    // Runs the oldest queued task on the calling thread; false when none
    // is queued.
    bool RunOne();

private:
    void Work();

    std::mutex lock_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
