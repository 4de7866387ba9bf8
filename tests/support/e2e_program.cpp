#include "support/e2e_program.h"

#include <X11/Xlib.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>

namespace larkspur::test {

E2eProgram::E2eProgram(const std::string& items) {
  // Whatever the program starts detached comes back to us when its parent
  // goes, instead of to init, and ends with the test.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  std::filesystem::create_directories(dir_.file("home/Library/Preferences"));
  std::filesystem::create_directories(dir_.file("tmp"));
  server_.route("/", LoopbackHttpServer::text(200, "<html>up</html>"));
  probeUrl = server_.url("/");
  imagePrefix = server_.url("/image/");
  dir_.write("items.txt", items);
  watcher_ = std::make_unique<FakeStatusWatcher>();
  iterateUntil([&] { return watcher_->ready(); });
}

E2eProgram::~E2eProgram() {
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

bool E2eProgram::spawn() {
  std::string endpoints = dir_.write(
      "endpoints.txt", "probeUrl=" + probeUrl + "\nimagePrefix=" + imagePrefix +
                           "\nwebHost=open.example.test\notherAppsUrl=" + server_.url("/apps") +
                           "\ntempDirectory=" + dir_.file("tmp") + "\n");
  if (!simOnPath_)
    simOnPath_ = std::make_unique<SimOnPath>("--record " + dir_.file("record.txt") +
                                             " --art-base " + imagePrefix + " --items " +
                                             dir_.file("items.txt"));
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv("HOME", dir_.file("home").c_str(), 1);
    setenv("LARKSPUR_ENDPOINTS_FILE", endpoints.c_str(), 1);
    execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  items_ = watcher_->registrations().size();
  return pid_ > 0;
}

bool E2eProgram::waitForItem() {
  return iterateUntil([&] {
    const auto& all = watcher_->registrations();
    if (all.size() <= items_) return false;
    items_ = all.size(), busName_ = all.back().busName, objectPath_ = all.back().objectPath;
    menuPath_ = item("Menu");
    return true;
  }, 20000);
}

std::optional<int> E2eProgram::waitForExit(pid_t pid) {
  int raw = 0;
  if (!iterateUntil([&] { return waitpid(pid, &raw, WNOHANG) == pid; }, 10000)) return std::nullopt;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

std::string E2eProgram::item(const char* property) {
  GVariant* v = busName_.empty() ? nullptr
                                 : watcher_->property(busName_, objectPath_,
                                                      "org.kde.StatusNotifierItem", property);
  if (!v) return "<none>";
  gchar* text = g_variant_is_container(v) ? g_variant_print(v, FALSE) : g_variant_dup_string(v, nullptr);
  std::string s = text;
  g_free(text), g_variant_unref(v);
  return s;
}

bool E2eProgram::entry(const std::string& pattern, bool click) {
  const std::regex start("^" + pattern);
  std::optional<int> id;
  iterateUntil([&] {  // the menu may be between two builds
    if (g_variant_is_object_path(menuPath_.c_str()))
      for (const MenuLine& line : watcher_->menuLayout(busName_, menuPath_))
        if (!id && std::regex_search(line.label, start)) id = line.id;
    return id.has_value();
  });
  // Not waited for: the program may act on the click (and leave) before answering.
  if (id && click)
    watcher_->send(busName_, menuPath_, "com.canonical.dbusmenu", "Event",
                   g_variant_new("(isvu)", *id, "clicked", g_variant_new_int32(0), 0u));
  return id.has_value();
}

int E2eProgram::recordCount(const std::string& line) const {
  return static_cast<int>(std::ranges::count(readLines(dir_.file("record.txt")), line));
}

std::string E2eProgram::waitForWindow(const std::string& option, const std::string& value) {
  std::string id;
  iterateUntil([&] {
    return bool(std::istringstream(runProgram({"xdotool", "search", "--onlyvisible", option, value})) >> id);
  }, 15000);
  return id;
}

bool E2eProgram::pressKeys(const std::string& keys, const std::string& window) {
  bool ok = true;
  if (!window.empty()) runProgram({"xdotool", "windowfocus", "--sync", window}, &ok);
  if (ok) runProgram({"xdotool", "key", keys}, &ok);
  return ok;
}

bool E2eProgram::closeWindow(const std::string& id) {
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

}  // namespace larkspur::test
