// Events, critical sections and threads: the Windows behaviour the engine's
// threads are written against.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/change_count.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/hold_count.h"
#include "platform/lock.h"
#include "platform/thread.h"
#include "platform/wait_flag.h"

namespace {

// Polls cond for up to 10 s; tests use it to wait for another thread to
// reach a state, never to measure how fast it got there.
template <typename F>
bool eventually(F cond) {
  for (int i = 0; i < 10000; ++i) {
    if (cond()) return true;
    platform::sleep_ms(1);
  }
  return cond();
}

TEST(Event, AutoResetWakesExactlyOneWaiterPerSet) {
  platform::Event ev(false, false);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      ASSERT_TRUE(ev.wait());
      ++woken;
    });
  platform::sleep_ms(20);  // let them block; the result holds either way
  for (int round = 1; round <= 4; ++round) {
    ev.set();
    ASSERT_TRUE(eventually([&] { return woken == round; }));
    platform::sleep_ms(30);
    EXPECT_EQ(woken, round) << "a single set released more than one waiter";
    EXPECT_FALSE(ev.is_set()) << "the waiter that woke must consume the event";
  }
  for (auto &t : waiters) t.join();
}

TEST(Event, AutoResetIsConsumedByOneWait) {
  platform::Event ev(false, true);
  EXPECT_TRUE(ev.is_set());
  EXPECT_TRUE(ev.wait(0));
  EXPECT_FALSE(ev.wait(0));
  ev.set();
  ev.set();  // setting a set event does not count twice
  EXPECT_TRUE(ev.wait(0));
  EXPECT_FALSE(ev.wait(10));
}

TEST(Event, ManualResetStaysSetAndReleasesEveryWaiter) {
  platform::Event ev(true, false);
  EXPECT_FALSE(ev.wait(0));
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      ASSERT_TRUE(ev.wait());
      ++woken;
    });
  ev.set();
  for (auto &t : waiters) t.join();
  EXPECT_EQ(woken, 4);
  EXPECT_TRUE(ev.is_set());
  EXPECT_TRUE(ev.wait(0));
  EXPECT_TRUE(ev.wait(0));
  ev.reset();
  EXPECT_FALSE(ev.is_set());
  EXPECT_FALSE(ev.wait(5));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  platform::CriticalSection cs;
  platform::Lock outer(cs);
  {
    platform::Lock inner(cs);  // the owner may enter again
    bool other_got_it = true;
    std::thread([&] { other_got_it = cs.try_lock(); }).join();
    EXPECT_FALSE(other_got_it);
  }
  bool other_got_it = true;
  std::thread([&] { other_got_it = cs.try_lock(); }).join();
  EXPECT_FALSE(other_got_it) << "one unlock of two entries must not release it";
}

TEST(Thread, StopsACooperativeThread) {
  platform::Thread t;
  std::atomic<int> loops{0};
  ASSERT_TRUE(t.start([&](const std::atomic<bool> &stop) {
    while (!stop) {
      ++loops;
      platform::sleep_ms(1);
    }
  }));
  EXPECT_TRUE(t.running());
  EXPECT_FALSE(t.start([](const std::atomic<bool> &) {})) << "one body at a time";
  ASSERT_TRUE(eventually([&] { return loops > 0; }));
  EXPECT_TRUE(t.stop(10000));
  EXPECT_FALSE(t.running());
  // A stopped thread can be started again.
  std::atomic<bool> ran{false};
  ASSERT_TRUE(t.start([&](const std::atomic<bool> &) { ran = true; }));
  EXPECT_TRUE(t.wait(platform::kInfinite));
  EXPECT_TRUE(ran);
}

TEST(Thread, BoundedStopLeavesABusyThreadDetachedToFinishAlone) {
  // The body ignores the stop request until the test releases it, as a
  // thread in the middle of a long file write would.
  auto release = std::make_shared<platform::Event>(true, false);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  platform::Thread t;
  ASSERT_TRUE(t.start([release, finished](const std::atomic<bool> &) {
    release->wait();
    *finished = true;
  }));
  EXPECT_FALSE(t.stop(30));
  EXPECT_TRUE(t.running()) << "the thread must not have been killed";
  EXPECT_FALSE(*finished);
  EXPECT_FALSE(t.start([](const std::atomic<bool> &) {})) << "the detached thread still runs";
  release->set();
  EXPECT_TRUE(eventually([&] { return !t.running(); }));
  EXPECT_TRUE(*finished);
}

TEST(Thread, WaitWithoutStopAndEscapingExceptions) {
  platform::Thread t;
  auto go = std::make_shared<platform::Event>(true, false);
  ASSERT_TRUE(t.start([go](const std::atomic<bool> &stop) {
    go->wait();
    if (!stop) throw std::runtime_error("ends the body, not the process");
  }));
  EXPECT_FALSE(t.wait(20));
  go->set();
  EXPECT_TRUE(t.wait(platform::kInfinite));
  EXPECT_FALSE(t.running());
  EXPECT_TRUE(t.stop(0));
}

TEST(Thread, StopFromInsideTheThreadDoesNotDeadlock) {
  auto t = std::make_shared<platform::Thread>();
  std::atomic<int> result{-1};
  platform::Event done(true, false);
  ASSERT_TRUE(t->start([&](const std::atomic<bool> &) {
    result = t->stop(1000) ? 1 : 0;
    done.set();
  }));
  ASSERT_TRUE(done.wait(10000));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(eventually([&] { return !t->running(); }));
}

TEST(Thread, AppliesALowerPriorityToItsOwnThreadOnly) {
  int before = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
  platform::Thread t;
  std::atomic<int> seen{-100};
  ASSERT_TRUE(t.start(
      [&](const std::atomic<bool> &) {
        seen = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
      },
      platform::ThreadPriority::idle));
  ASSERT_TRUE(t.wait(platform::kInfinite));
  EXPECT_EQ(seen, 19);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), before);
}

}  // namespace

namespace {

// A raised flag holds its waiters until it is lowered, or until their bound
// passes; a claim waits the same way and then raises it for itself.
TEST(WaitFlag, WaitersWakeWhenItIsLoweredAndGiveUpAtTheirBound) {
  platform::WaitFlag flag;
  EXPECT_TRUE(flag.wait_clear(0));
  EXPECT_TRUE(flag.try_set());
  EXPECT_FALSE(flag.try_set());
  EXPECT_FALSE(flag.wait_clear(20));  // still raised at the bound
  EXPECT_FALSE(flag.claim(20));
  EXPECT_TRUE(flag.is_set());

  std::atomic<bool> waiting{false};
  std::atomic<bool> claimed{false};
  std::thread claimer([&] {
    waiting = true;
    claimed = flag.claim(platform::kInfinite);
  });
  ASSERT_TRUE(eventually([&] { return waiting.load(); }));
  EXPECT_FALSE(claimed.load());
  flag.clear();  // wakes the claimer, which raises it again
  claimer.join();
  EXPECT_TRUE(claimed.load());
  EXPECT_TRUE(flag.is_set());
  std::thread lowerer([&] { flag.clear(); });
  EXPECT_TRUE(flag.wait_clear(platform::kInfinite));
  lowerer.join();
}

// A flag word reads and writes as the 0/1 integer it stands for, and its
// waiters sleep until it is raised (or their bound passes).
TEST(WaitFlag, FlagWordWakesWaitersWhenRaised) {
  platform::FlagWord word;
  EXPECT_EQ(word.load(), 0);
  EXPECT_FALSE(word.wait_raised(20));
  std::thread raiser([&] { word = 1; });
  EXPECT_TRUE(word.wait_raised(platform::kInfinite));
  raiser.join();
  EXPECT_EQ(static_cast<int32_t>(word), 1);
  EXPECT_TRUE(word.wait_raised(0));
  word = 0;
  EXPECT_EQ(word.load(), 0);
}

// Holders are counted; one side takes a hold only when nobody has one, and
// a waiter sleeps until the last holder lets go, within its bound.
TEST(HoldCount, WaitersWakeWhenTheLastHolderLetsGo) {
  platform::HoldCount holds;
  EXPECT_TRUE(holds.wait_free(0));
  EXPECT_TRUE(holds.try_hold_alone());
  EXPECT_FALSE(holds.try_hold_alone());
  holds.hold();
  EXPECT_EQ(holds.count(), 2);
  EXPECT_FALSE(holds.wait_free(20));
  holds.release();
  EXPECT_FALSE(holds.wait_free(0));
  std::thread releaser([&] { holds.release(); });
  EXPECT_TRUE(holds.wait_free(platform::kInfinite));
  releaser.join();
  EXPECT_EQ(holds.count(), 0);
  // A release without a hold leaves the count at none.
  holds.release();
  EXPECT_EQ(holds.count(), 0);
  EXPECT_TRUE(holds.try_hold_alone());
}

// A waiter that looks at a state and then sleeps cannot miss a change made
// between the two: the count it read has moved on by then.
TEST(ChangeCount, WaitersSeeEveryChangeAndGiveUpAtTheirBound) {
  platform::ChangeCount changes;
  std::atomic<int> state{0};
  EXPECT_FALSE(changes.wait_until([&] { return state.load() == 1; }, 20));
  const uint64_t seen = changes.value();
  state = 1;
  changes.bump();
  EXPECT_TRUE(changes.wait_past(seen, 0)) << "a change made before the wait counts";
  EXPECT_FALSE(changes.wait_past(changes.value(), 10));
  std::thread setter([&] {
    for (int k = 2; k <= 200; ++k) {
      state = k;
      changes.bump();
    }
  });
  EXPECT_TRUE(changes.wait_until([&] { return state.load() == 200; }, 10000));
  setter.join();
}

}  // namespace
