#include <cstdlib>

#include "platform/text.h"
#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

using GtkEventSource = GtkDesktopTest;

// The program's loop runs on these: an event taken from a dispatch must not
// be lost, nor a stopped timer fire again.
TEST_F(GtkEventSource, TimersTickThroughWaitAndStopEvenFromTheirOwnCallback) {
  int repeating = 0, once = 0;
  auto handle = desktop->startTimer(20, [&] {
    ++repeating;
    queue.enqueue(EventTimer, 1, 0, 0);
  });
  const TimerPort::TimerHandle self = desktop->startTimer(10, [&] {
    ++once;
    desktop->stopTimer(self);
  });
  ASSERT_TRUE(waitForEvent(EventTimer) && waitForEvent(EventTimer) && waitForEvent(EventTimer));
  desktop->stopTimer(handle);
  const int after = repeating;
  // Stopped: waits several periods long see no further firing.
  for (int i = 0; i < 3; ++i) queue.wait(50);
  EXPECT_EQ(std::pair(repeating, once), std::pair(after, 1));
}

// GTK's start-up must leave the program's locale in place.
struct GtkInCSession : GtkDesktopTest {
  void SetUp() override { setenv("LC_ALL", "C", 1), GtkDesktopTest::SetUp(); }
  void TearDown() override { unsetenv("LC_ALL"); }
};

TEST_F(GtkInCSession, AnyCaseRemovalsFoldBeyondAscii) {
  EXPECT_EQ(removeAll(u"Tune \u00C9DIT", u"\u00E9dit", Case::Any), u"Tune ");
}

}  // namespace
}  // namespace larkspur::test
