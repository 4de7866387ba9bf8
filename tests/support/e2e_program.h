#pragma once
// The real program (build/tools/larkspur-loopback) under a test's control,
// seen only from outside: its tray item over D-Bus through a fake
// StatusNotifierWatcher, its X windows through xdotool, its settings file,
// its artwork cache, the simulated player's record and its exit statuses.
//
// Every outside address points at loopback: one HTTP server answers the
// network probe ("/") and the artwork ("/image/<id>", small JPEGs made at
// start). The simulated player is installed as `spotify` on PATH, as the
// program expects to find the client.
//
// The test process becomes a child subreaper, so the processes the program
// starts detached (the player, a relaunched successor) are adopted by it:
// their exit statuses can be read and the destructor can end them all.
//
// Needs the private X server and bus of startGtkSession.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "support/gtk_fake_watcher.h"
#include "support/loopback_http_server.h"
#include "support/player_sim.h"
#include "support/temp_dir.h"

namespace larkspur::test {

// One entry of the exported tray menu.
struct MenuLine {
  int dbusId = 0;
  std::string label;  // as exported: text, padding blanks and shortcut
  bool separator = false;
  bool enabled = true;
  bool hasImage = false;  // carries image data (the artwork, a toggle image)
};

// A settings value as the file holds it.
using SettingValue = std::variant<std::int64_t, std::string>;
using Settings = std::map<std::string, SettingValue>;

// What a first run writes.
Settings defaultSettings();

// A small baseline JPEG of one colour, for the artwork server.
std::string makeJpeg(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b);

class E2eProgram {
 public:
  static std::string executable();

  E2eProgram();
  ~E2eProgram();
  E2eProgram(const E2eProgram&) = delete;
  E2eProgram& operator=(const E2eProgram&) = delete;

  // --- Before start ---------------------------------------------------------
  // The simulator's item list (its --items format); each item's artwork id is
  // served as a JPEG. Without it the simulator plays its built-in list, whose
  // artwork is not served.
  void setItems(const std::string& lines);
  void addSimArgs(const std::string& args);
  // Writes a settings file: the defaults with `overrides` laid over them.
  void presetSettings(const Settings& overrides);
  void setProbeUrl(const std::string& url) { probeUrl_ = url; }
  void setImagePrefix(const std::string& prefix) { imagePrefix_ = prefix; }

  // --- Running --------------------------------------------------------------
  // Starts the program and waits for its tray item to register.
  bool start(int timeoutMs = 20000);
  // Starts it without waiting for anything.
  bool spawn();
  // The program's current process (the latest to register an item, or the
  // one spawned when none registered yet).
  pid_t pid() const { return pid_; }
  // Waits until a process other than `oldPid` registers an item, and makes
  // it the current one.
  bool waitForSuccessor(pid_t oldPid, int timeoutMs = 20000);
  // Waits for `pid` (a child or an adopted process) to end: its exit status,
  // or 128 + signal, or nullopt on time-out.
  std::optional<int> waitForExit(pid_t pid, int timeoutMs = 10000);
  bool running(pid_t pid);
  void signal(pid_t pid, int sig);

  // --- The tray item --------------------------------------------------------
  std::string label();
  std::vector<MenuLine> menu();
  // The entries without separators, in order.
  std::vector<MenuLine> entries();
  // Clicks the first entry whose label starts with `prefix`; false when none.
  bool clickLabel(const std::string& prefix);
  bool click(int dbusId);
  bool waitForLabel(const std::string& text, int timeoutMs = 5000);
  // Polls `condition` while keeping this process's main loop turning (the
  // fake watcher answers from it).
  bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

  // --- The outside world ----------------------------------------------------
  LoopbackHttpServer& server() { return server_; }
  int imageRequests(const std::string& artId) const;
  int probeRequests() const;
  const std::string& home() const { return home_; }
  std::string itemsPath() const { return dir_.file("items.txt"); }
  std::string settingsPath() const;
  std::optional<Settings> settings() const;
  std::string cacheDirectory() const;
  std::vector<std::string> cacheFiles() const;
  std::vector<std::string> record() const;
  int recordCount(const std::string& line) const;
  bool waitForRecord(const std::string& line, int timeoutMs = 5000);
  bool playerOnBus();
  pid_t playerPid();

  // X windows: ids of visible windows whose name matches, and actions on
  // them. Keys go through the XTEST extension, as a user's would.
  std::vector<std::string> windowsNamed(const std::string& name);
  std::vector<std::string> windowsOf(pid_t pid);
  bool focusWindow(const std::string& id);
  bool pressKeys(const std::string& keys);
  // A left click at a point of the window, in its own coordinates.
  bool clickAt(const std::string& id, int x, int y);
  // Asks the window to close, as a window manager's close button does.
  bool closeWindow(const std::string& id);
  std::string clipboard();

 private:
  void writeEndpoints();
  std::string objectPath() const;
  pid_t pidOfConnection(const std::string& busName);
  void endEverything();

  TempDir dir_;
  std::string home_, tempDirectory_, recordPath_, endpointsPath_;
  LoopbackHttpServer server_;
  std::unique_ptr<FakeStatusWatcher> watcher_;
  std::unique_ptr<SimOnPath> simOnPath_;
  std::string simArgs_;
  std::string probeUrl_, imagePrefix_;
  std::string busName_;  // the current item's connection
  pid_t pid_ = -1;
};

}  // namespace larkspur::test
