#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

namespace testmedia {

// Keeps every thread of the global pool busy until release() (or the
// destructor), so that work the program queues there (QtConcurrent::run)
// cannot finish before the test lets it: what the window does while such
// work is outstanding can then be looked at without racing it.
class ThreadPoolHold
{
public:
    ThreadPoolHold()
        : gate(std::make_shared<QSemaphore>())
        , count(QThreadPool::globalInstance()->maxThreadCount())
    {
        auto started = std::make_shared<QSemaphore>();
        for (int i = 0; i < count; ++i) {
            // The semaphores are shared: a thread woken by the release may
            // still be inside acquire() when this object is gone.
            QThreadPool::globalInstance()->start([gate = gate, started] {
                started->release();
                gate->acquire();
            });
        }
        holding = started->tryAcquire(count, 10000);
    }
    ~ThreadPoolHold() { release(); }
    ThreadPoolHold(const ThreadPoolHold &) = delete;
    ThreadPoolHold &operator=(const ThreadPoolHold &) = delete;

    // Whether every thread of the pool is held.
    bool isHolding() const { return holding; }
    int threads() const { return count; }
    void release()
    {
        if (released)
            return;
        released = true;
        gate->release(count);
    }

private:
    std::shared_ptr<QSemaphore> gate;
    int count = 0;
    bool holding = false;
    bool released = false;
};

}  // namespace testmedia
