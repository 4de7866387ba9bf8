#pragma once
// The real program (build/tools/larkspur-loopback) under a test's control,
// seen only from outside: its tray item over D-Bus through a fake
// StatusNotifierWatcher, its X windows through xdotool, the simulated
// player's record and its exit statuses.
//
// Every outside address points at loopback: one HTTP server answers the
// network probe ("/"), and has no artwork. The simulated player
// is installed as `spotify` on PATH, as the program expects to find the
// client.
//
// The test process becomes a child subreaper, so the processes the program
// starts detached (the player, a relaunched successor) are adopted by it,
// and the destructor ends them all.
//
// Needs the private X server and bus of startGtkSession. The system headers
// it needs beyond Xlib's come with the support headers it includes.
#include <X11/Xlib.h>

#include <algorithm>
#include <optional>
#include <regex>

#include "support/gtk_fake_watcher.h"
#include "support/gtk_session.h"
#include "support/loopback_http_server.h"
#include "support/player_sim.h"
#include "support/temp_dir.h"

namespace larkspur::test {

class E2eProgram {
  TempDir dir_;  // home/, tmp/ (the cache's parent), items, record, endpoints
  LoopbackHttpServer server_;
  FakeStatusWatcher watcher_;
  SimOnPath sim_{"--record " + dir_.file("record.txt") + " --art-base " + server_.url("/image/") + " --items " +
                 dir_.file("items.txt")};
  std::size_t items_ = 0;  // registrations seen
  std::string busName_, objectPath_, menuPath_;  // the current item
  pid_t pid_ = -1;

 public:
  // `items`: the simulator's list (its --items format).
  explicit E2eProgram(const std::string& items) {
    // Whatever the program starts detached comes back to us when its parent
    // goes, instead of to init, and ends with the test.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::filesystem::create_directories(dir_.file("home/Library/Preferences"));
    std::filesystem::create_directories(dir_.file("tmp"));
    server_.route("/", LoopbackHttpServer::text(200, "<html>up</html>"));
    dir_.write("items.txt", items);
    iterateUntil([&] { return watcher_.ready(); });
  }
  ~E2eProgram() {
    // The relaunch shells first, or they start a successor once the program
    // they wait for has gone; then the rest, until all are reaped.
    const std::string parent = std::to_string(getpid());
    runProgram({"pkill", "-KILL", "-P", parent, "-x", "sh"});
    iterateUntil([&] {
      bool left = false;
      runProgram({"pkill", "-KILL", "-P", parent, "-x", "sh|sleep|larkspur-loopba|spotify|spotify-sim"}, &left);
      while (waitpid(-1, nullptr, WNOHANG) > 0) {}
      return !left;
    });
  }

  // Before the first start.
  std::string probeUrl = server_.url("/");
  // The program to run: the loopback build, or a copy of it placed elsewhere.
  std::string executable = LARKSPUR_BINARY_DIR "tools/larkspur-loopback";
  // A file of the run: home/ (its settings under Library/Preferences),
  // items.txt (the simulator's list).
  std::string file(const std::string& name) const { return dir_.file(name); }

  // Starts the program (a child of this process); start() also waits for
  // its tray item.
  bool spawn() {
    std::string endpoints = dir_.write(
        "endpoints.txt", "probeUrl=" + probeUrl + "\nimagePrefix=" + server_.url("/image/") +
                             "\nwebHost=open.example.test\notherAppsUrl=" + server_.url("/apps") +
                             "\ntempDirectory=" + dir_.file("tmp") + "\n");
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv("HOME", dir_.file("home").c_str(), 1);
      setenv("LARKSPUR_ENDPOINTS_FILE", endpoints.c_str(), 1);
      execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    items_ = watcher_.registrations().size();
    return pid_ > 0;
  }
  bool start() { return spawn() && waitForItem(); }
  pid_t pid() const { return pid_; }
  // Waits for a tray item to register after the current one (a relaunch's),
  // and makes it the current one.
  bool waitForItem() {
    return iterateUntil([&] {
      const auto& all = watcher_.registrations();
      if (all.size() <= items_) return false;
      items_ = all.size(), busName_ = all.back().busName, objectPath_ = all.back().objectPath;
      menuPath_ = item("Menu");
      return true;
    }, 20000);
  }
  // The exit status of a child, 128 + signal, or nullopt on time-out.
  std::optional<int> waitForExit(pid_t pid) {
    int raw = 0;
    if (!iterateUntil([&] { return waitpid(pid, &raw, WNOHANG) == pid; }, 10000)) return std::nullopt;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }

  // A property of the tray item: a string as it is, an array printed.
  std::string item(const char* property) {
    GVariant* v = busName_.empty() ? nullptr
                                   : watcher_.property(busName_, objectPath_, "org.kde.StatusNotifierItem", property);
    if (!v) return "<none>";
    g_autofree gchar* text = g_variant_is_container(v) ? g_variant_print(v, FALSE) : g_variant_dup_string(v, nullptr);
    g_variant_unref(v);
    return text;
  }
  bool waitForLabel(const std::string& text) { return iterateUntil([&] { return item("XAyatanaLabel") == text; }); }
  // Waits for a menu entry whose text (with the blanks before its shortcut)
  // starts with a match of `pattern`; clicks it, as a host does, if asked.
  bool entry(const std::string& pattern, bool click = false) {
    const std::regex start("^" + pattern);
    std::optional<int> id;
    iterateUntil([&] {  // the menu may be between two builds
      if (g_variant_is_object_path(menuPath_.c_str()))
        for (const MenuLine& line : watcher_.menuLayout(busName_, menuPath_))
          if (!id && std::regex_search(line.label, start)) id = line.id;
      return id.has_value();
    });
    // Not waited for: the program may act on the click (and leave) before answering.
    if (id && click)
      watcher_.send(busName_, menuPath_, "com.canonical.dbusmenu", "Event",
                    g_variant_new("(isvu)", *id, "clicked", g_variant_new_int32(0), 0u));
    return id.has_value();
  }

  // The outside world.
  int recordCount(const std::string& line) const {
    return static_cast<int>(std::ranges::count(readLines(dir_.file("record.txt")), line));
  }
  // The first visible X window found by an xdotool search option (--name,
  // --pid) to show; "" on time-out.
  std::string waitForWindow(const std::string& option, const std::string& value) {
    std::string id;
    iterateUntil([&] {
      return bool(std::istringstream(runProgram({"xdotool", "search", "--onlyvisible", option, value})) >> id);
    }, 15000);
    return id;
  }
  // Keys through XTEST, as a user's; into `window` after focusing it.
  bool pressKeys(const std::string& keys, const std::string& window = "") {
    bool ok = true;
    if (!window.empty()) runProgram({"xdotool", "windowfocus", "--sync", window}, &ok);
    if (ok) runProgram({"xdotool", "key", keys}, &ok);
    return ok;
  }
  // Asks the window to close, as a window manager's close button does.
  bool closeWindow(const std::string& id) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient = {ClientMessage, 0, False, display, static_cast<Window>(std::stoul(id)),
                     XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    Status sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);  // flushes
    return sent != 0;
  }
};

}  // namespace larkspur::test
