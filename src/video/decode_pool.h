#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The worker threads that every grabber's frames are decoded on: one fewer than the cores,
// so that the interface keeps one, and at least one. The threads are plain standard threads
// so that every hand-over between them and the GUI thread goes through a lock that thread
// checkers can see.
class DecodePool
{
public:
    static DecodePool &shared();

    explicit DecodePool(int threadCount);
    ~DecodePool();
    DecodePool(const DecodePool &) = delete;
    DecodePool &operator=(const DecodePool &) = delete;

    // Runs the job on the next free worker, in the order jobs are given.
    void run(std::function<void()> job);
    int threadCount() const { return int(threads.size()); }

private:
    void work();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    std::vector<std::thread> threads;
};
