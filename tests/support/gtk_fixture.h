#pragma once
// The desktop under test on its private X server and bus.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/event_queue.h"
#include "platform/gtk/gtk_desktop.h"
#include "support/gtk_session.h"

namespace larkspur::test {

class GtkDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    if (!startGtkSession(&error)) GTEST_SKIP() << "no private X server: " << error;
    desktop = GtkDesktop::create(queue, endpoints, &error);
    ASSERT_TRUE(desktop) << error;
  }

  // Waits on the queue, as the program's loops do, until `code` comes out.
  bool waitForEvent(std::int32_t code, int timeoutMs = 5000) {
    return iterateUntil([&] { return queue.wait(20) == code; }, timeoutMs);
  }

  EventQueue queue;
  Endpoints endpoints;
  std::unique_ptr<GtkDesktop> desktop;
};

}  // namespace larkspur::test
