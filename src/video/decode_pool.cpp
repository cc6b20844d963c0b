#include "decode_pool.h"

#include <QThread>

DecodePool &DecodePool::shared()
{
    static DecodePool pool(QThread::idealThreadCount() - 1);
    return pool;
}

DecodePool::DecodePool(int threadCount)
{
    for (int i = 0; i < qMax(1, threadCount); ++i)
        threads.emplace_back(&DecodePool::work, this);
}

DecodePool::~DecodePool()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread &thread : threads)
        thread.join();
}

void DecodePool::run(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void DecodePool::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job();
    }
}
