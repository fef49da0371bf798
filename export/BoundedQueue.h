#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

// A first-in first-out hand-over between two threads that holds at most
// `capacity` items: push waits while it is full, pop while it is empty.
// close() says no more items will come (pop drains what is left, then
// returns nothing); abort() also drops what is left, for a consumer or
// producer that failed, and makes every waiting push and pop return at once.
template <typename T>
class BoundedQueue
{
public:
    explicit BoundedQueue(size_t capacity)
        : capacity_(capacity < 1 ? 1 : capacity)
    {
    }
    BoundedQueue(const BoundedQueue &) = delete;
    BoundedQueue &operator=(const BoundedQueue &) = delete;

    // False, with `item` dropped, once the queue is closed or aborted.
    bool push(T item)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        notFull_.wait(lock, [this] { return closed_ || items_.size() < capacity_; });
        if (closed_)
            return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // The oldest item; nothing once the queue is closed and empty, or aborted.
    std::optional<T> pop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        notEmpty_.wait(lock, [this] { return closed_ || !items_.empty(); });
        if (items_.empty())
            return std::nullopt;
        std::optional<T> item(std::move(items_.front()));
        items_.pop_front();
        notFull_.notify_one();
        return item;
    }

    void close()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

    void abort()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        items_.clear();
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

private:
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
    std::deque<T> items_;
    bool closed_ = false;
};
