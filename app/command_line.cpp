#include "app/command_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/command_service.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;

constexpr int kDone = 0, kFailed = 1, kNotUnderstood = 2;

// One option: its name, how the usage shows its value (null when it takes
// none), one line of help, and what it does with its value.
struct Option {
  const char* name;
  const char* value;
  const char* help;
  int (*run)(const std::string& value);
};

int showHelp(const std::string&);
int showVersion(const std::string&);
int setAutostart(const std::string& value);
int sendToRunning(const std::string& value);

constexpr Option kOptions[] = {
    {"--autostart", "on|off", "start Larkspur with the desktop session, or stop doing so",
     setAutostart},
    {"--command", "next|previous|repeat|shuffle|pause|details",
     "have the running Larkspur do what that hotkey does", sendToRunning},
    {"--help", nullptr, "show this help and exit", showHelp},
    {"--version", nullptr, "show the version and exit", showVersion},
};

void printUsage(std::FILE* to) {
  std::fputs("Usage: larkspur [OPTION]\n"
             "Without an option, Larkspur starts in the system tray.\n\nOptions:\n",
             to);
  for (const Option& o : kOptions) {
    std::string shown = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
    if (shown.size() > 20) std::fprintf(to, "  %s\n  %-20s %s\n", shown.c_str(), "", o.help);
    else std::fprintf(to, "  %-20s %s\n", shown.c_str(), o.help);
  }
}

int notUnderstood(const std::string& problem) {
  std::fprintf(stderr, "larkspur: %s\n", problem.c_str());
  printUsage(stderr);
  return kNotUnderstood;
}

int showHelp(const std::string&) {
  printUsage(stdout);
  return kDone;
}

int showVersion(const std::string&) {
  std::puts("Larkspur " LARKSPUR_VERSION);
  return kDone;
}

// $XDG_CONFIG_HOME/autostart/larkspur.desktop, or under ~/.config when that
// variable is unset or not an absolute path (the base directory rules say
// to ignore a relative one). Empty when there is no home either.
fs::path autostartEntryPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  fs::path base = config && config[0] == '/' ? fs::path(config)
                  : home && home[0] == '/'   ? fs::path(home) / ".config"
                                             : fs::path();
  return base.empty() ? base : base / "autostart" / "larkspur.desktop";
}

// A desktop entry's string value escapes its backslashes.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// The executable as one Exec argument: quoted when it holds a character the
// entry's command syntax reserves, with '%' doubled so that it is no field
// code. The string escaping applies on top of the quoting.
std::string execArgument(const std::string& path) {
  bool quote = path.find_first_of(" \"'\\><~|&;$*?#`()") != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : path) {
    if (c == '%') out += '%';
    else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
  }
  return escaped(quote ? out + "\"" : out);
}

// Written beside the target and renamed over it, so a session never reads
// half an entry.
bool writeEntry(const fs::path& path, const std::string& text, std::error_code& error) {
  fs::create_directories(path.parent_path(), error);
  if (error) return false;
  fs::path partial = path;
  partial += ".partial";
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) error = std::make_error_code(std::errc::io_error);
  else fs::rename(partial, path, error);
  std::error_code ignored;
  if (error) fs::remove(partial, ignored);
  return !error;
}

int autostartOn(const fs::path& path) {
  std::error_code error;
  std::string exe = fs::read_symlink("/proc/self/exe", error).string();
  if (error) {
    std::fprintf(stderr, "larkspur: cannot tell where this program is installed\n");
    return kFailed;
  }
  // An entry's values hold no control characters, so no entry can name such
  // a path.
  if (std::ranges::any_of(exe, [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
    std::fprintf(stderr, "larkspur: an autostart entry cannot name %s\n", exe.c_str());
    return kFailed;
  }
  // TryExec lets the session skip the entry once the program is gone.
  std::string entry = "[Desktop Entry]\nType=Application\nName=Larkspur\n"
                      "Comment=Control the Spotify player from the system tray\n"
                      "Exec=" + execArgument(exe) + "\nTryExec=" + escaped(exe) +
                      "\nIcon=larkspur\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  if (!writeEntry(path, entry, error)) {
    std::fprintf(stderr, "larkspur: cannot write %s: %s\n", path.c_str(),
                 error.message().c_str());
    return kFailed;
  }
  std::printf("Larkspur will start with the desktop session (wrote %s).\n", path.c_str());
  return kDone;
}

int autostartOff(const fs::path& path) {
  std::error_code error;
  bool removed = fs::remove(path, error);
  if (error) {
    std::fprintf(stderr, "larkspur: cannot remove %s: %s\n", path.c_str(),
                 error.message().c_str());
    return kFailed;
  }
  std::printf(removed ? "Larkspur will no longer start with the desktop session (removed %s).\n"
                      : "Larkspur was not set to start with the desktop session (no %s).\n",
              path.c_str());
  return kDone;
}

int setAutostart(const std::string& value) {
  if (value != "on" && value != "off")
    return notUnderstood("--autostart takes on or off, not \"" + value + "\"");
  fs::path path = autostartEntryPath();
  if (path.empty()) {
    std::fprintf(stderr, "larkspur: neither XDG_CONFIG_HOME nor HOME names a directory\n");
    return kFailed;
  }
  return value == "on" ? autostartOn(path) : autostartOff(path);
}

int sendToRunning(const std::string& value) {
  const CommandAction* action = findCommandAction(value);
  if (!action)
    return notUnderstood("--command takes next, previous, repeat, shuffle, pause or details, "
                         "not \"" + value + "\"");
  if (std::optional<std::string> problem = sendCommand(*action)) {
    std::fprintf(stderr, "larkspur: %s\n", problem->c_str());
    return kFailed;
  }
  return kDone;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // "--option=value" is "--option value".
  if (auto eq = args[0].find('='); args[0].starts_with("--") && eq != std::string::npos) {
    args.insert(args.begin() + 1, args[0].substr(eq + 1));
    args[0].resize(eq);
  }
  for (const Option& o : kOptions) {
    if (args[0] != o.name) continue;
    std::size_t wanted = o.value ? 2 : 1;
    if (args.size() < wanted) return notUnderstood(args[0] + " needs a value");
    if (args.size() > wanted) return notUnderstood("unexpected \"" + args[wanted] + "\"");
    return o.run(o.value ? args[1] : "");
  }
  return notUnderstood("unknown option \"" + args[0] + "\"");
}

}  // namespace larkspur
