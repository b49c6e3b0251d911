#include "vrndll/threads/WorkerPool.h"

WorkerPool::WorkerPool(int workers) {
    threads_.reserve(static_cast<size_t>(workers > 0 ? workers : 0));
    for (int k = 0; k < workers; ++k) threads_.emplace_back([this] { Work(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread &t : threads_) t.join();
}

void WorkerPool::Submit(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_.push_back(std::move(task));
    }
    queued_.notify_one();
}

bool WorkerPool::RunOne() {
    std::function<void()> task;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (tasks_.empty()) return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
    return true;
}

void WorkerPool::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> guard(lock_);
            queued_.wait(guard, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return; // stopping, and nothing left to run
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}
