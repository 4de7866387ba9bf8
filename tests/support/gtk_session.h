#pragma once
// For the desktop and player tests: a private session bus and a private X
// server for the whole test process, so that key grabs, focus and bus names
// do not meet those of other test programs running at the same time; and a
// main-loop wait with a hard time-out.
#include <functional>
#include <string>
#include <vector>

namespace larkspur::test {

// The private bus alone, for tests that need no display.
void startPrivateBus();
// The bus, then Xvfb; DISPLAY and DBUS_SESSION_BUS_ADDRESS point at them.
// False (with the reason) when Xvfb could not start.
bool startGtkSession(std::string* error);

// Iterates the default GLib main context until `done` holds or `timeoutMs`
// passed; answers whether it held.
bool iterateUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Runs a program to completion (argv[0] searched on PATH) and answers its
// standard output; *ok tells whether it ran and exited with 0.
std::string runProgram(const std::vector<std::string>& argv, bool* ok = nullptr);

// Whether a name on the session bus starts with `prefix`.
bool busHasName(const std::string& prefix);

}  // namespace larkspur::test
