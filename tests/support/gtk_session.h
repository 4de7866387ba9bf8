#pragma once
// For the desktop and player tests: a private session bus and a private X
// server for the whole test process, so that key grabs, focus and bus names
// do not meet those of other test programs running at the same time; and a
// main-loop wait with a hard time-out.
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace larkspur::test {
namespace session {

inline pid_t xvfbPid = 0;
inline GTestDBus* privateBus = nullptr;

inline void stopSession() {
  // Not g_test_dbus_down: it waits for the shared connection to go away,
  // and the desktop holds it for the life of the process.
  if (privateBus) g_test_dbus_stop(privateBus);
  if (xvfbPid > 0) kill(xvfbPid, SIGTERM), waitpid(xvfbPid, nullptr, 0);
}

}  // namespace session

// The private bus alone, for tests that need no display.
inline void startPrivateBus() {
  if (session::privateBus) return;
  session::privateBus = g_test_dbus_new(G_TEST_DBUS_NONE);
  g_test_dbus_up(session::privateBus);
  std::atexit(session::stopSession);
}

// The bus, then Xvfb; DISPLAY and DBUS_SESSION_BUS_ADDRESS point at them.
// False (with the reason) when Xvfb could not start.
inline bool startGtkSession(std::string* error) {
  static bool started = false;
  static std::string display;
  if (!started) {
    started = true;
    g_setenv("NO_AT_BRIDGE", "1", TRUE);
    g_setenv("GDK_BACKEND", "x11", TRUE);
    startPrivateBus();  // first: bringing it up clears DISPLAY
    const char* xvfb[] = {"Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset", nullptr};
    int out = -1;
    char c = 0;
    if (g_spawn_async_with_pipes(nullptr, const_cast<char**>(xvfb), nullptr,
                                 GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
                                 &session::xvfbPid, nullptr, &out, nullptr, nullptr)) {
      // Xvfb reports its display number once it accepts connections.
      pollfd p{out, POLLIN, 0};
      while (poll(&p, 1, 20000) > 0 && read(out, &c, 1) == 1 && c != '\n') display += c;
      close(out);
    }
    if (c == '\n') g_setenv("DISPLAY", (":" + display).c_str(), TRUE);
    else display.clear();
    g_unsetenv("WAYLAND_DISPLAY");
  }
  if (display.empty() && error) *error = "Xvfb did not report a display";
  return !display.empty();
}

// Iterates the default GLib main context until `done` holds or `timeoutMs`
// passed; answers whether it held.
inline bool iterateUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
  // A ticking source keeps the iteration from blocking past the deadline
  // when nothing else is pending.
  const guint tick = g_timeout_add(10, [](gpointer) { return gboolean(G_SOURCE_CONTINUE); }, nullptr);
  bool held = false;
  while (!(held = done()) && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(tick);
  return held;
}

// Runs a program to completion (argv[0] searched on PATH) and answers its
// standard output; *ok tells whether it ran and exited with 0.
inline std::string runProgram(const std::vector<std::string>& argv, bool* ok = nullptr) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  GPid pid = 0;
  gint out = -1;
  if (ok) *ok = false;
  if (!g_spawn_async_with_pipes(nullptr, args.data(), nullptr,
                                GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                                nullptr, nullptr, &pid, nullptr, &out, nullptr, nullptr))
    return {};
  gint status = -1;
  g_child_watch_add(pid, [](GPid, gint s, gpointer data) { *static_cast<gint*>(data) = s; }, &status);
  // The program may need us to answer it (a clipboard read asks the owner),
  // so the main loop keeps running while it does.
  if (!iterateUntil([&] { return status != -1; }, 15000))
    kill(pid, SIGKILL), iterateUntil([&] { return status != -1; }, 5000);
  std::string result;
  char buffer[4096];
  for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<std::size_t>(n));
  close(out);
  if (ok) *ok = status != -1 && g_spawn_check_wait_status(status, nullptr);
  return result;
}

// Whether a name on the session bus starts with `prefix`.
inline bool busHasName(const std::string& prefix) {
  g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  g_autoptr(GVariant) reply = !bus ? nullptr
                                   : g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                                 "org.freedesktop.DBus", "ListNames", nullptr,
                                                                 G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 2000,
                                                                 nullptr, nullptr);
  g_autofree const gchar** names = nullptr;
  if (reply) g_variant_get(reply, "(^a&s)", &names);
  for (int i = 0; names && names[i]; ++i)
    if (g_str_has_prefix(names[i], prefix.c_str())) return true;
  return false;
}

}  // namespace larkspur::test
