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
// Needs the private X server and bus of startGtkSession.
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "support/gtk_fake_watcher.h"
#include "support/gtk_session.h"
#include "support/loopback_http_server.h"
#include "support/player_sim.h"
#include "support/temp_dir.h"

namespace larkspur::test {

class E2eProgram {
 public:
  // `items`: the simulator's list (its --items format).
  explicit E2eProgram(const std::string& items);
  ~E2eProgram();

  // Before the first start.
  std::string probeUrl, imagePrefix;
  // The program to run: the loopback build, or a copy of it placed elsewhere.
  std::string executable = LARKSPUR_BINARY_DIR "tools/larkspur-loopback";
  // A file of the run: home/ (its settings under Library/Preferences),
  // items.txt (the simulator's list).
  std::string file(const std::string& name) const { return dir_.file(name); }

  // Starts the program (a child of this process); start() also waits for
  // its tray item.
  bool spawn();
  bool start() { return spawn() && waitForItem(); }
  pid_t pid() const { return pid_; }
  // Waits for a tray item to register after the current one (a relaunch's),
  // and makes it the current one.
  bool waitForItem();
  // The exit status of a child, 128 + signal, or nullopt on time-out.
  std::optional<int> waitForExit(pid_t pid);

  // A property of the tray item: a string as it is, an array printed.
  std::string item(const char* property);
  bool waitForLabel(const std::string& text) {
    return iterateUntil([&] { return item("XAyatanaLabel") == text; });
  }
  // Waits for a menu entry whose text (with the blanks before its shortcut)
  // starts with a match of `pattern`; clicks it, as a host does, if asked.
  bool entry(const std::string& pattern, bool click = false);

  // The outside world.
  int recordCount(const std::string& line) const;
  // The first visible X window found by an xdotool search option (--name,
  // --pid) to show; "" on time-out.
  std::string waitForWindow(const std::string& option, const std::string& value);
  // Keys through XTEST, as a user's; into `window` after focusing it.
  bool pressKeys(const std::string& keys, const std::string& window = "");
  // Asks the window to close, as a window manager's close button does.
  bool closeWindow(const std::string& id);

 private:
  TempDir dir_;  // home/, tmp/ (the cache's parent), items, record, endpoints
  LoopbackHttpServer server_;
  std::unique_ptr<FakeStatusWatcher> watcher_;
  std::unique_ptr<SimOnPath> simOnPath_;
  std::size_t items_ = 0;  // registrations seen
  std::string busName_, objectPath_, menuPath_;  // the current item
  pid_t pid_ = -1;
};

}  // namespace larkspur::test
