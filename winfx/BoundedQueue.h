// A first-in first-out queue of at most a fixed number of items, between the threads of one
// process. Waiting is done on condition variables (no polling); a slim reader/writer lock
// guards the items. Either side can end the exchange: the producer by Close (what is queued
// is still handed out), the consumer by Abandon (everything waiting returns at once).
#pragma once

#include <windows.h>

#include <cstddef>
#include <utility>
#include <vector>

namespace winfx {

template <typename T>
class BoundedQueue {
 public:
  // An open, empty queue for up to capacity items (at least one).
  explicit BoundedQueue(size_t capacity) : slots_(capacity != 0 ? capacity : 1) {}
  BoundedQueue(const BoundedQueue&) = delete;
  BoundedQueue& operator=(const BoundedQueue&) = delete;

  // Adds item at the end, waiting while the queue is full. False, with item not taken,
  // once the queue was closed or abandoned.
  bool Push(T&& item) {
    Lock lock(&lock_);
    while (count_ == slots_.size() && !closed_ && !abandoned_) Wait(&notFull_);
    if (closed_ || abandoned_) return false;
    slots_[(first_ + count_) % slots_.size()] = std::move(item);
    ++count_;
    ::WakeConditionVariable(&notEmpty_);
    return true;
  }

  // Moves the first item into *item, waiting while the queue is empty and open. False when
  // it is empty and closed, or was abandoned.
  bool Pop(T* item) {
    Lock lock(&lock_);
    while (count_ == 0 && !closed_ && !abandoned_) Wait(&notEmpty_);
    return TakeFirst(item);
  }

  // Moves the first item into *item when there is one; never waits. False otherwise.
  bool TryPop(T* item) {
    Lock lock(&lock_);
    return TakeFirst(item);
  }

  // Nothing more will be pushed: Pop hands out what is queued, then answers false.
  void Close() {
    Lock lock(&lock_);
    closed_ = true;
    ::WakeAllConditionVariable(&notEmpty_);
    ::WakeAllConditionVariable(&notFull_);
  }

  // Nothing more will be taken: Push and Pop answer false from now on, waiting ones at once.
  void Abandon() {
    Lock lock(&lock_);
    abandoned_ = true;
    ::WakeAllConditionVariable(&notEmpty_);
    ::WakeAllConditionVariable(&notFull_);
  }

 private:
  // Holds the lock exclusively for its scope.
  class Lock {
   public:
    explicit Lock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
    ~Lock() { ::ReleaseSRWLockExclusive(lock_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    SRWLOCK* lock_;
  };

  // Sleeps on condition with the lock released; the caller holds the lock.
  void Wait(CONDITION_VARIABLE* condition) {
    ::SleepConditionVariableSRW(condition, &lock_, INFINITE, 0);
  }

  // The first item into *item, with the lock held; false when there is none or abandoned.
  bool TakeFirst(T* item) {
    if (count_ == 0 || abandoned_) return false;
    *item = std::move(slots_[first_]);
    first_ = (first_ + 1) % slots_.size();
    --count_;
    ::WakeConditionVariable(&notFull_);
    return true;
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE notEmpty_ = CONDITION_VARIABLE_INIT;
  CONDITION_VARIABLE notFull_ = CONDITION_VARIABLE_INIT;
  std::vector<T> slots_;
  size_t first_ = 0;
  size_t count_ = 0;
  bool closed_ = false;
  bool abandoned_ = false;
};

}  // namespace winfx
