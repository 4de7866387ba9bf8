#include "platform/event_queue.h"

#include <gtest/gtest.h>

#include "platform/window_table.h"
#include "support/fake_desktop.h"

namespace larkspur {
namespace {

class EventQueueTest : public ::testing::Test {
 protected:
  // The objects of every queued event, in order, taken off the queue.
  std::vector<std::int64_t> drain() {
    std::vector<std::int64_t> objects;
    while (queue.size() > 0 && queue.wait(0) > 0) objects.push_back(queue.currentObject());
    return objects;
  }
  static void release(void* data) { ++*static_cast<int*>(data); }

  EventQueue queue;
  test::FakeDesktop desktop{queue};
  WindowTable windows{desktop, desktop, queue};
};

TEST_F(EventQueueTest, IdenticalTicksMergeOnlyWhileTheFirstIsLastAndPostedEventsNever) {
  int released = 0;
  queue.enqueue(EventTimer, 1, 7, 0);
  queue.enqueue(EventTimer, 1, 7, 0, &released, release);  // merged: its data is released
  queue.post(EventNextTrack, NotGiven, 5, NotGiven, nullptr);
  queue.post(EventNextTrack, NotGiven, 5, NotGiven, nullptr);
  queue.enqueue(EventTimer, 1, 7, 0);
  queue.enqueue(EventTimer, 2, 7, 0);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(drain(), (std::vector<std::int64_t>{1, 5, 5, 1, 2}));
}

TEST_F(EventQueueTest, QueuedEventsComeFirstAndOneSystemEventPerWait) {
  bool dispatched = false;
  desktop.then([&] { dispatched = true; });
  queue.enqueue(EventMenu, 3, WindowApplication, 0);
  EXPECT_EQ(queue.wait(-1), EventMenu);
  EXPECT_FALSE(dispatched);
  EXPECT_EQ(queue.wait(-1), -1);
  EXPECT_TRUE(dispatched);
  EXPECT_EQ(queue.wait(0), 0);
}

TEST_F(EventQueueTest, PurgeTakesOnlyMatchingEventsAndKeepsTheTailRight) {
  queue.enqueue(EventControl, 1, 5, 0);
  queue.enqueue(EventControl, 2, 6, 0);
  queue.enqueue(EventMenu, 3, 5, 0);
  queue.enqueue(EventTimer, 4, 6, 0);
  queue.purge(EventControl, -1, 6, -1);
  queue.purgeWindow(6);
  queue.enqueue(EventTimer, 4, 6, 0);  // the purged tail is not merged into
  EXPECT_EQ(drain(), (std::vector<std::int64_t>{1, 3, 4}));
}

TEST_F(EventQueueTest, FiltersRunMostRecentFirstAndAllOfThem) {
  std::vector<int> order;
  for (int n = 1; n <= 3; ++n) queue.addFilter([&order, n](const KeyEvent&) { order.push_back(n); return n == 2; });
  const int last = queue.addFilter([&](const KeyEvent&) { order.push_back(4); return false; });
  queue.removeFilter(last);
  EXPECT_TRUE(queue.offerToFilters(KeyEvent{}));
  EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
}

TEST_F(EventQueueTest, ClosingAWindowEndsItsTimersAndItsQueuedEvents) {
  ASSERT_TRUE(windows.open(7, 0, 0, 100, 100, u"Details", 0));
  EXPECT_FALSE(windows.addTimer(7, 2, 0));
  EXPECT_FALSE(windows.addTimer(8, 1, 1000));
  ASSERT_TRUE(windows.addTimer(7, 1, 1000));
  EXPECT_EQ(desktop.runningTimers(), 1u);
  desktop.tick();
  ASSERT_EQ(queue.wait(-1), EventTimer);
  EXPECT_EQ(queue.currentWindow(), 7);
  queue.enqueue(EventTimer, 1, 7, 0);
  queue.enqueue(EventControl, 9, 8, 0);
  windows.close(7);
  EXPECT_EQ(desktop.runningTimers(), 0u);
  EXPECT_EQ(drain(), (std::vector<std::int64_t>{9}));
}

}  // namespace
}  // namespace larkspur
