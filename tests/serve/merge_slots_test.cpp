// Merge slots: never more merges at once than slots, each slot's worker state
// used by one thread at a time, the queue bounded and served in order, for
// waiters on a thread and without one.
#include "serve/merge_slots.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace dorvane::serve {
namespace {

using Clock = std::chrono::steady_clock;
using Status = MergeSlot::Status;

void waitUntil(const std::function<bool()>& done) {
  const auto limit = Clock::now() + std::chrono::seconds(10);
  while (!done() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(ServeMergeSlots, AtMostWorkersMergesEachStateOnOneThreadAtATime) {
  MergeSlots slots(2, 64);
  platform::WorkerLocal<std::atomic<int>> users;  // threads in a state now
  std::atomic<int> running{0}, most{0}, refused{0}, shared{0};
  std::mutex statesLock;
  std::set<const void*> states;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        MergeSlot slot(slots, Clock::now() + std::chrono::seconds(30));
        if (slot.status() != Status::Held) {
          ++refused;
          continue;
        }
        const int now = ++running;
        for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
        }
        if (++*users != 1) ++shared;
        {
          std::lock_guard<std::mutex> lock(statesLock);
          states.insert(&*users);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        --*users;
        --running;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(shared, 0);
  EXPECT_EQ(most, 2);
  EXPECT_EQ(states.size(), 2u);  // the slots' states, not the threads' own
  EXPECT_EQ(slots.running(), 0u);
  EXPECT_EQ(slots.waiting(), 0u);
}

TEST(ServeMergeSlots, FullQueueRefusesTimeOutLeavesWaitersServedInOrder) {
  MergeSlots slots(1, 2);
  const auto later = Clock::now() + std::chrono::seconds(30);
  std::vector<char> order;
  std::mutex orderLock;
  std::vector<std::thread> waiters;
  {
    MergeSlot held(slots, later);
    ASSERT_EQ(held.status(), Status::Held);
    EXPECT_EQ(slots.running(), 1u);

    // Not waited for past its time; its queue place is given back.
    MergeSlot late(slots, Clock::now() + std::chrono::milliseconds(20));
    EXPECT_EQ(late.status(), Status::TimedOut);
    EXPECT_EQ(slots.waiting(), 0u);

    for (char name : {'a', 'b'}) {
      waiters.emplace_back([&, name] {
        MergeSlot slot(slots, later);
        std::lock_guard<std::mutex> lock(orderLock);
        order.push_back(slot.status() == Status::Held ? name : '!');
      });
      const size_t queued = waiters.size();
      waitUntil([&] { return slots.waiting() == queued; });
    }
    EXPECT_EQ(MergeSlot(slots, later).status(), Status::Full);
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(order, (std::vector<char>{'a', 'b'}));
  EXPECT_EQ(slots.running(), 0u);
}

// A request waiting without a thread: queued within the bound, handed the
// freed slot by the thread that frees it, or withdrawn (at its deadline).
TEST(ServeMergeSlots, WaitersWithoutThreadAreHandedSlotsOrWithdrawn) {
  MergeSlots slots(1, 1);
  platform::WorkerState* held = nullptr;
  MergeSlots::Waiter first, second, third;
  platform::WorkerState *handed = nullptr, *unused = nullptr;
  first.handOver = [&](platform::WorkerState* s) { handed = s; };
  ASSERT_EQ(slots.admit(held, third), MergeSlots::Admission::Held);
  ASSERT_EQ(slots.admit(unused, second), MergeSlots::Admission::Queued);
  EXPECT_EQ(slots.admit(unused, third), MergeSlots::Admission::Full);
  EXPECT_TRUE(slots.withdraw(second));  // its place is free again
  EXPECT_FALSE(slots.withdraw(second));
  ASSERT_EQ(slots.admit(unused, first), MergeSlots::Admission::Queued);
  EXPECT_EQ(unused, nullptr);
  EXPECT_EQ(slots.waiting(), 1u);
  { MergeSlot slot(slots, held); }  // done: handed on, not freed
  EXPECT_EQ(handed, held);
  EXPECT_EQ(slots.running(), 1u);
  EXPECT_FALSE(slots.withdraw(first));  // too late: it has the slot
  { MergeSlot slot(slots, handed); }
  EXPECT_EQ(slots.running(), 0u);
  EXPECT_EQ(slots.waiting(), 0u);
}

}  // namespace
}  // namespace dorvane::serve
