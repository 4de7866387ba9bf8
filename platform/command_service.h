#pragma once
// The running program's command interface on the session bus: a well-known
// name of its own, which also keeps a second instance from starting, and
// the six hotkey actions as methods. A desktop's own keyboard settings or a
// script drive the program through `larkspur --command <action>`.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/event_queue.h"

namespace larkspur {

inline constexpr char kCommandBusName[] = "org.example.larkspur";
inline constexpr char kCommandObjectPath[] = "/org/example/larkspur";
inline constexpr char kCommandInterface[] = "org.example.larkspur.Commands";

// One action: its name on the command line, its method, the event a hotkey
// for it posts, and how a desktop lists it.
struct CommandAction {
  const char* name;
  const char* method;
  std::int32_t eventCode;
  const char* description;
};
inline constexpr CommandAction kCommandActions[] = {
    {"next", "Next", EventNextTrack, "Next Track"},
    {"previous", "Previous", EventPreviousTrack, "Previous Track"},
    {"repeat", "Repeat", EventRestartTrack, "Repeat Track"},
    {"shuffle", "Shuffle", EventShuffle, "Shuffle Playlist"},
    {"pause", "Pause", EventPlayPause, "Pause"},
    {"details", "Details", EventTrackDetails, "Track Details"},
};
const CommandAction* findCommandAction(const std::string& name);
const CommandAction* commandActionForEvent(std::int64_t eventCode);

class CommandService {
 public:
  // Owns the name and exports the interface; each call posts its action's
  // event into `queue`. Null when another running instance owns the name
  // (its process id in *otherPid) or there is no session bus (*otherPid 0).
  static std::unique_ptr<CommandService> claim(EventQueue& queue, long* otherPid);
  ~CommandService();
  CommandService(const CommandService&) = delete;
  CommandService& operator=(const CommandService&) = delete;

  struct Impl;

 private:
  explicit CommandService(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Calls one action of the running program: nullopt when delivered,
// otherwise what went wrong, for the user.
std::optional<std::string> sendCommand(const CommandAction& action);

}  // namespace larkspur
