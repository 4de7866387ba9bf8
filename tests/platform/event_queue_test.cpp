#include "platform/event_queue.h"

#include <gtest/gtest.h>

#include "platform/window_table.h"
#include "support/fake_desktop.h"

namespace larkspur {
namespace {

using Objects = std::vector<std::int64_t>;

class EventQueueTest : public ::testing::Test {
 protected:
  // The objects of every queued event, in order, taken off the queue.
  Objects drain() {
    Objects objects;
    while (queue.size() > 0 && queue.wait(0) > 0) objects.push_back(queue.currentObject());
    return objects;
  }
  EventQueue queue;
  test::FakeDesktop desktop{queue};
};

// Identical ticks merge only while the first is last (a merged one's data is
// released), posted events never; a purged tail is not merged into.
TEST_F(EventQueueTest, TicksMergeOnlyAtTheTailAndPurgeTakesOnlyMatchingEvents) {
  int released = 0;
  queue.enqueue(EventTimer, 1, 7, 0);
  queue.enqueue(EventTimer, 1, 7, 0, &released, [](void* data) { ++*static_cast<int*>(data); });
  for (int i = 0; i < 2; ++i) queue.post(EventNextTrack, NotGiven, 5, NotGiven, nullptr);
  queue.enqueue(EventTimer, 1, 7, 0);
  queue.enqueue(EventTimer, 2, 7, 0);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(drain(), (Objects{1, 5, 5, 1, 2}));
  for (auto [type, object, window] : {std::tuple{EventControl, 1, 5}, {EventControl, 2, 6}, {EventMenu, 3, 5}, {EventTimer, 4, 6}})
    queue.enqueue(type, object, window, 0);
  queue.purge(EventControl, -1, 6, -1);
  queue.purgeWindow(6);
  queue.enqueue(EventTimer, 4, 6, 0);
  EXPECT_EQ(drain(), (Objects{1, 3, 4}));
}

// Queued events come first, one system event per wait; filters run most
// recent first, all of them.
TEST_F(EventQueueTest, QueuedEventsComeFirstFiltersRunMostRecentFirstAndClosingAWindowEndsItsEvents) {
  bool dispatched = false;
  desktop.then([&] { dispatched = true; });
  queue.enqueue(EventMenu, 3, WindowApplication, 0);
  EXPECT_EQ(queue.wait(-1), EventMenu);
  EXPECT_FALSE(dispatched);
  EXPECT_EQ(queue.wait(-1), -1);
  EXPECT_TRUE(dispatched);
  EXPECT_EQ(queue.wait(0), 0);
  std::vector<int> order;
  for (int n = 1; n <= 3; ++n) queue.addFilter([&order, n](const KeyEvent&) { order.push_back(n); return n == 2; });
  queue.removeFilter(queue.addFilter([&](const KeyEvent&) { order.push_back(4); return false; }));
  EXPECT_TRUE(queue.offerToFilters(KeyEvent{}));
  EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
  // Closing a window ends its timers and its queued events.
  WindowTable windows{desktop, desktop, queue};
  ASSERT_TRUE(windows.open(7, 0, 0, 100, 100, u"Details", 0));
  ASSERT_TRUE(windows.addTimer(7, 1, 1000));
  desktop.tick();
  ASSERT_EQ(queue.wait(-1), EventTimer);
  EXPECT_EQ(queue.currentWindow(), 7);
  queue.enqueue(EventTimer, 1, 7, 0);
  queue.enqueue(EventControl, 9, 8, 0);
  windows.close(7);
  EXPECT_EQ(desktop.runningTimers(), 0u);
  EXPECT_EQ(drain(), (Objects{9}));
}

}  // namespace
}  // namespace larkspur
