#pragma once
// The real program assembled in process for the live measurements: the GTK
// desktop on a private X server and session bus, the simulated player over
// MPRIS, libcurl against a loopback artwork server, settings under a
// temporary HOME. start() runs the start-up sequence up to the built status
// item; the caller then drives refreshTick() and rebuildStatusItem().
#include <gio/gio.h>
#include <glib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "app/app_controller.h"
#include "platform/gtk/gtk_desktop.h"
#include "platform/http_request.h"
#include "platform/mpris/mpris_script_service.h"
#include "platform/process_launcher.h"
#include "support/gtk_session.h"
#include "support/loopback_http_server.h"
#include "support/player_sim.h"
#include "support/temp_dir.h"

namespace larkspur::bench {

// Artwork identifiers of the simulator's built-in items.
inline constexpr const char* kArtworkIds[] = {
    "ab67616d0000b2731f0a6c2e9b4d3a7e5c8f2b10", "ab67616d0000b273b02c8e41f7a9d3065e2c1a77",
    "ab6765630000ba8a9c03e5f1d2b4a6c8e0f1a2b3", "ab67616d0000b273dd04a1b2c3d4e5f6a7b8c9d0",
    "ab67616d0000b273e15f2a3b4c5d6e7f8091a2b3", "ab67616d0000b273f2603b4c5d6e7f8091a2b3c4",
    "ab67616d0000b273037a4c5d6e7f8091a2b3c4d5", "ab67616d0000b273148b5d6e7f8091a2b3c4d5e6",
    "ab67616d0000b273259c6e7f8091a2b3c4d5e6f7"};

inline std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// CPU time of this process, all threads, in microseconds.
inline double processCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

inline double wallUs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// utime + stime of another process from /proc/<pid>/stat, in microseconds;
// -1 when it cannot be read.
inline double otherProcessCpuUs(long pid) {
  std::string stat = readWhole("/proc/" + std::to_string(pid) + "/stat");
  auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream in(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// VmRSS of this process in KiB.
inline long residentKiB() {
  std::istringstream in(readWhole("/proc/self/status"));
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

inline long openDescriptors() {
  long n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n - 1;  // the iterator's own descriptor
}

// Process id of the owner of a name on the session bus; -1 if none.
inline long busNameOwnerPid(const char* name) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return -1;
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID", g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  g_object_unref(bus);
  if (!reply) return -1;
  guint32 pid = 0;
  g_variant_get(reply, "(u)", &pid);
  g_variant_unref(reply);
  return pid;
}

// Runs what is pending on the GLib main context without blocking, as the
// program's loop would between two ticks.
inline void drainMainContext() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

class LiveProgram {
 public:
  // False, with the reason on stderr, when any part could not start.
  // stateMaxAgeMs: how long the player's state is trusted between reads
  // (0: every query reads it afresh); the program's own default otherwise.
  bool start(std::optional<int> stateMaxAgeMs = std::nullopt) {
    std::string error;
    if (!test::startGtkSession(&error)) return fail("no X server: " + error);
    std::string art = readWhole(LARKSPUR_SOURCE_RESOURCES "fancy_app_icon.png");
    if (art.empty()) art = readWhole(LARKSPUR_SOURCE_RESOURCES "ss_icon.png");
    server_.route("/", test::LoopbackHttpServer::text(200, "ok"));
    for (const char* id : kArtworkIds)
      server_.route(std::string("/image/") + id, test::LoopbackHttpServer::text(200, art));
    prepareHome();
    sim_ = std::make_unique<test::PlayerSim>(
        std::vector<std::string>{"--art-base", server_.url("/image/")});
    if (!sim_->start()) return fail("the simulated player did not start");
    simPid_ = busNameOwnerPid(test::SimBusName);

    endpoints_.probeUrl = server_.url("/");
    endpoints_.imagePrefix = server_.url("/image/");
    endpoints_.webHost = server_.url("").substr(std::string_view("http://").size());
    endpoints_.tempDirectory = dir_.path() + "/";
    desktop_ = GtkDesktop::create(queue_, endpoints_, &error);
    if (!desktop_) return fail("no desktop: " + error);
    player_ = stateMaxAgeMs
                  ? std::make_unique<MprisScriptService>(endpoints_, 2000, 15000, *stateMaxAgeMs,
                                                                     *stateMaxAgeMs)
                  : std::make_unique<MprisScriptService>(endpoints_);
    app_ = std::make_unique<AppController>(
        AppPorts{queue_, *desktop_, *player_, http_, launcher_, endpoints_});
    app_->startUp();
    drainMainContext();
    return true;
  }

  AppController& app() { return *app_; }
  long simulatorPid() const { return simPid_; }

 private:
  static bool fail(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return false;
  }

  // HOME with the artist shown, and `spotify` on PATH for the
  // player-installed check.
  void prepareHome() {
    std::filesystem::create_directories(dir_.file("home/Library/Preferences"));
    dir_.write("home/Library/Preferences/Larkspur.plist",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
               "<key>Val9</key><integer>0</integer><key>Val11</key><integer>0</integer>"
               "<key>Val17</key><integer>0</integer><key>Val19</key><integer>0</integer>"
               "<key>Val51</key><integer>1</integer></dict></plist>\n");
    g_setenv("HOME", dir_.file("home").c_str(), TRUE);
    std::filesystem::create_directories(dir_.file("bin"));
    std::filesystem::create_symlink(test::SimExecutable, dir_.file("bin/spotify"));
    std::string path = dir_.file("bin") + ":" + g_getenv("PATH");
    g_setenv("PATH", path.c_str(), TRUE);
  }

  test::TempDir dir_;
  test::LoopbackHttpServer server_;
  std::unique_ptr<test::PlayerSim> sim_;
  long simPid_ = -1;
  Endpoints endpoints_;
  EventQueue queue_;
  std::unique_ptr<GtkDesktop> desktop_;
  std::unique_ptr<MprisScriptService> player_;
  CurlHttp http_;
  ProcessLauncher launcher_;
  std::unique_ptr<AppController> app_;
};

}  // namespace larkspur::bench
