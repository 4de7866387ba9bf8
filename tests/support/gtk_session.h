#pragma once
// For the desktop tests: a private X server and a private session bus for
// the whole test process, so that key grabs, focus and bus names do not meet
// those of other test programs running at the same time; and a main-loop
// wait with a hard time-out.
#include <functional>
#include <string>
#include <vector>

namespace larkspur::test {

// Starts Xvfb and a private dbus-daemon on first use and points DISPLAY and
// DBUS_SESSION_BUS_ADDRESS at them. False (with the reason) when Xvfb could
// not start.
bool startGtkSession(std::string* error);

// Iterates the default GLib main context until `done` holds or `timeoutMs`
// passed; answers whether it held.
bool iterateUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Runs a program to completion (argv[0] searched on PATH) and answers its
// standard output, or nullopt-like false through *ok.
std::string runProgram(const std::vector<std::string>& argv, bool* ok = nullptr);

}  // namespace larkspur::test
