// gtest before Xlib: Xlib's macros (None, Bool) break gtest's headers.
#include "support/gtk_fixture.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace larkspur::test {
namespace {

class GtkHotkeys : public GtkDesktopTest {
 protected:
  void SetUp() override {
    GtkDesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(desktop->installHotkeyHandler([this](HotkeyPort::Identity id) {
      pressed.push_back(id);
    }));
  }

  bool press(const char* keys, std::size_t expectedCount) {
    bool ok = false;
    runProgram({"xdotool", "key", keys}, &ok);
    return ok && iterateUntil([&] { return pressed.size() >= expectedCount; });
  }

  std::vector<HotkeyPort::Identity> pressed;
};

// X errors of the second client, which stands for another program.
int grabErrors = 0;
int recordError(Display*, XErrorEvent*) {
  ++grabErrors;
  return 0;
}

// Grabs a combination from a separate X connection; answers whether the X
// server granted it.
bool grabElsewhere(Display* other, KeySym keysym, unsigned modifiers) {
  grabErrors = 0;
  auto previous = XSetErrorHandler(recordError);
  XGrabKey(other, XKeysymToKeycode(other, keysym), modifiers, DefaultRootWindow(other), True,
           GrabModeAsync, GrabModeAsync);
  XSync(other, False);
  XSetErrorHandler(previous);
  return grabErrors == 0;
}

TEST_F(GtkHotkeys, RegisteredCombinationsCallTheHandlerWithTheirIdentity) {
  auto commandShiftK = desktop->registerHotkey(40, 256 + 512, 11);
  // Not ⌃⌥F5: X servers keep Ctrl+Alt+F1…F12 for switching terminals and
  // never deliver them to a grab.
  auto controlShiftF5 = desktop->registerHotkey(96, 4096 + 512, 22);
  auto optionCommand1 = desktop->registerHotkey(18, 2048 + 256, 33);
  ASSERT_TRUE(commandShiftK && controlShiftF5 && optionCommand1);

  ASSERT_TRUE(press("super+shift+k", 1));
  ASSERT_TRUE(press("ctrl+shift+F5", 2));
  ASSERT_TRUE(press("alt+super+1", 3));
  EXPECT_EQ(pressed, (std::vector<HotkeyPort::Identity>{11, 22, 33}));
  // The same combination twice is refused rather than bound to two records.
  EXPECT_FALSE(desktop->registerHotkey(40, 768, 44));
}

TEST_F(GtkHotkeys, CombinationHeldByAnotherClientIsRefusedAndReleasedOnesAreFree) {
  Display* other = XOpenDisplay(nullptr);
  ASSERT_TRUE(other);
  ASSERT_TRUE(grabElsewhere(other, XK_j, ControlMask | ShiftMask));
  EXPECT_FALSE(desktop->registerHotkey(38, 4096 + 512, 1));

  auto ours = desktop->registerHotkey(37, 4096 + 512, 2);  // ⌃⇧L
  ASSERT_TRUE(ours);
  EXPECT_FALSE(grabElsewhere(other, XK_l, ControlMask | ShiftMask));
  EXPECT_TRUE(desktop->unregisterHotkey(*ours));
  EXPECT_FALSE(desktop->unregisterHotkey(*ours));
  EXPECT_TRUE(grabElsewhere(other, XK_l, ControlMask | ShiftMask));
  XCloseDisplay(other);
}

}  // namespace
}  // namespace larkspur::test
