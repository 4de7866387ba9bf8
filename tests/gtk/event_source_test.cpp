#include <glib.h>

#include <csignal>

#include "platform/gtk/key_map.h"
#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

using GtkEventSource = GtkDesktopTest;

void drain(EventQueue& queue) {
  for (int i = 0; i < 1000 && queue.wait(0) != 0; ++i) {
  }
}

TEST_F(GtkEventSource, PostFromMainLoopCallbackEndsABlockedWaitWithItsCode) {
  drain(queue);
  g_timeout_add(30, [](gpointer q) {
    static_cast<EventQueue*>(q)->post(EventNextTrack, NotGiven, NotGiven, NotGiven, nullptr);
    return G_SOURCE_REMOVE;
  }, &queue);
  gint64 start = g_get_monotonic_time();
  std::int32_t code = 0;
  // wait(-1) may answer -1 for a dispatch that produced nothing; it must not
  // miss the post nor need a second system event to see it.
  for (int i = 0; i < 100 && code != EventNextTrack; ++i) code = queue.wait(-1);
  EXPECT_EQ(code, EventNextTrack);
  EXPECT_LT(g_get_monotonic_time() - start, 2 * G_USEC_PER_SEC);
}

TEST_F(GtkEventSource, TimedWaitWithNothingToDoAnswersZeroAfterItsTimeOut) {
  drain(queue);
  gint64 start = g_get_monotonic_time();
  std::int32_t code = queue.wait(50);
  gint64 elapsed = g_get_monotonic_time() - start;
  EXPECT_EQ(code, 0);
  EXPECT_GE(elapsed, 45 * 1000);
  EXPECT_LT(elapsed, 2 * G_USEC_PER_SEC);
}

TEST_F(GtkEventSource, RepeatingTimerTicksArriveThroughWaitAndStopWhenStopped) {
  int fired = 0;
  auto handle = desktop->startTimer(20, [&] {
    ++fired;
    queue.enqueue(EventTimer, 1, 0, 0);
  });
  int ticks = 0;
  ASSERT_TRUE(iterateUntil([&] {
    if (queue.wait(100) == EventTimer && queue.currentObject() == 1) ++ticks;
    return ticks >= 3;
  }));
  desktop->stopTimer(handle);
  drain(queue);
  int after = fired;
  // Stopped: a wait several periods long sees no further firing.
  gint64 until = g_get_monotonic_time() + 150 * 1000;
  while (g_get_monotonic_time() < until) queue.wait(50);
  EXPECT_EQ(fired, after);
}

TEST_F(GtkEventSource, TimerMayStopItselfFromItsOwnCallback) {
  TimerPort::TimerHandle handle = 0;
  int fired = 0;
  handle = desktop->startTimer(10, [&] {
    ++fired;
    desktop->stopTimer(handle);
    queue.enqueue(EventTimer, 1, 0, 0);
  });
  ASSERT_TRUE(waitForEvent(EventTimer));
  drain(queue);
  queue.wait(60);
  EXPECT_EQ(fired, 1);
}

TEST_F(GtkEventSource, TerminationSignalArrivesAsTheQuitMenuEvent) {
  drain(queue);
  raise(SIGTERM);
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), MenuObjectQuit);
  EXPECT_EQ(queue.currentWindow(), WindowApplication);
}

TEST(GtkKeyMap, KeysymsAndKeyNumbersCorrespond) {
  EXPECT_EQ(virtualKeyForKeysym('k'), 40);
  EXPECT_EQ(virtualKeyForKeysym('K'), 40);  // shifted letters name the same key
  EXPECT_EQ(virtualKeyForKeysym('1'), 18);
  EXPECT_EQ(virtualKeyForKeysym(']'), 30);
  EXPECT_EQ(virtualKeyForKeysym(0xFFC2 /* F5 */), 96);
  EXPECT_EQ(virtualKeyForKeysym(0xFF63 /* Insert */), 114);
  EXPECT_EQ(virtualKeyForKeysym(0xFFB1 /* KP_1 */), 83);
  EXPECT_EQ(virtualKeyForKeysym(0xFFE1 /* Shift_L */), -1);
  EXPECT_EQ(keysymForVirtualKey(40), std::uint32_t('k'));
  EXPECT_EQ(keysymForVirtualKey(10), 0u);
  // Every key number a grab can use reads back as itself.
  for (int code = 0; code < 128; ++code) {
    std::uint32_t keysym = keysymForVirtualKey(code);
    if (keysym) {
      EXPECT_EQ(virtualKeyForKeysym(keysym), code) << code;
    }
  }
}

}  // namespace
}  // namespace larkspur::test
