// Whole runs of the real program against the simulated player, on this test
// process's own X server and bus, with a fresh home, cache directory and
// loopback servers: start, tray label and menu, track changes, the two
// windows, options, advert muting (with a sound server of the test's own),
// the ways out, and an outside world that misbehaves.
#include <gio/gio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "support/e2e_program.h"

namespace larkspur::test {
namespace {

using ::testing::IsEmpty;
using ::testing::IsSupersetOf;

// The simulated player's list. Items 1 and 2 share their artwork; item 4 is
// an advertisement.
inline constexpr const char* kItems =
    "track|t1|Morning Glass - 2011 Remaster|Cedar Lane|Low Tide|215000|art1aaaa|1|0.5\n"
    "track|t2|Paper Harbour|Cedar Lane;Mira Holt|Low Tide|187500|art1aaaa|2|0.4\n"
    "track|t3|Orbit Song (Remastered)|The Quiet Arcs|Satellites|254000|art2bbbb|7|0.8\n"
    "ad|a4|Advertisement|Spotify||30000|art3cccc|0|0\n"
    "track|t5|Last Light|Harbour Lights|Closing Time|265000|art4dddd|12|0.5\n";

// The label's text for items 1 to 3 while the artist is hidden.
inline constexpr const char* kFirstTitle = "Morning Glass";
inline constexpr const char* kSecondTitle = "Paper Harbour";
inline constexpr const char* kThirdTitle = "Orbit Song";

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    if (!startGtkSession(&error)) GTEST_SKIP() << "no private X server: " << error;
    program = std::make_unique<E2eProgram>(kItems);
  }

  std::unique_ptr<E2eProgram> program;
};


const std::string kNextHotkey = "\u2303\u2325N";  // Control-Option-N

// The entries' texts without the padding and shortcut after them, each
// followed by '|'.
std::string labelsOf(const std::vector<MenuLine>& entries) {
  std::string out;
  for (const MenuLine& e : entries) out += e.label.substr(0, e.label.find("  ")) + "|";
  return out;
}

// One character per entry: 1 enabled, 0 disabled.
std::string enabledOf(const std::vector<MenuLine>& entries) {
  std::string out;
  for (const MenuLine& e : entries) out += e.enabled ? '1' : '0';
  return out;
}

TEST_F(EndToEnd, FirstRunTrackDetailsMenuTrackChangesAndQuitClosingThePlayer) {
  ASSERT_TRUE(program->start());
  EXPECT_GT(program->playerPid(), 0);
  EXPECT_TRUE(program->waitFor([&] { return program->recordCount("Play") > 0; }));
  EXPECT_EQ(program->settings(), defaultSettings());
  EXPECT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  std::vector<MenuLine> entries = program->entries();
  EXPECT_EQ(labelsOf(entries),
            "|Next|Previous|Repeat|Pause Spotify|Shuffle Playback|Hide Artist Name|"
            "Hide Album Artwork|Hide Icon|Close Spotify on Exit|Mute Ads (Free tier users only)|"
            "Set Keyboard Shortcuts...|About|Quit|");
  EXPECT_TRUE(!entries.empty() && entries[0].hasImage);
  EXPECT_EQ(program->cacheFiles(), std::vector<std::string>{"art1aaaa.jpeg"});
  EXPECT_EQ(program->requests("/image/art1aaaa"), 1);

  // The artwork entry opens the details window; only the transport entries
  // and Quit stay available while it is up.
  ASSERT_TRUE(program->click(""));
  ASSERT_NE(program->waitForWindow("--name", "Current Track Details"), "");
  EXPECT_TRUE(program->waitFor([&] { return enabledOf(program->entries()) == "01110000000001"; }))
      << enabledOf(program->entries());
  // A track change closes it. The second item shares the first's artwork, the
  // third brings its own: each is fetched once, later ticks find the files.
  ASSERT_TRUE(program->click("Next"));
  EXPECT_TRUE(program->waitFor(
      [&] { return program->windows("--name", "Current Track Details").empty(); }));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_TRUE(program->waitFor([&] { return enabledOf(program->entries()) == "11111111111111"; }))
      << enabledOf(program->entries());
  ASSERT_TRUE(program->click("Next"));
  EXPECT_TRUE(program->waitForLabel(kThirdTitle)) << program->label();
  EXPECT_EQ(program->recordCount("Next"), 2);
  EXPECT_TRUE(program->waitFor([&] {
    entries = program->entries();
    return !entries.empty() && entries[0].hasImage &&
           program->cacheFiles() == std::vector<std::string>{"art1aaaa.jpeg", "art2bbbb.jpeg"};
  }));
  EXPECT_FALSE(program->waitFor([&] {
    return program->requests("/image/art1aaaa") + program->requests("/image/art2bbbb") > 2;
  }, 2500));  // with both files cached, each was fetched exactly once

  // Quit with Close Spotify on Exit: the player is told to quit too, the
  // cache goes, the settings stay.
  ASSERT_TRUE(program->click("Close Spotify on Exit"));
  ASSERT_TRUE(program->waitFor([&] {
    entries = program->entries();
    return !entries.empty() && entries.back().label == "Quit (also closes Spotify)";
  }));
  Settings expected = defaultSettings();
  expected["Val17"] = std::int64_t{1};
  std::optional<Settings> kept = program->settings();
  EXPECT_THAT(kept.value_or(Settings{}), IsSupersetOf(expected));
  pid_t pid = program->pid(), player = program->playerPid();
  ASSERT_TRUE(program->click("Quit (also closes Spotify)"));
  EXPECT_EQ(program->waitForExit(pid), 0);
  EXPECT_EQ(program->waitForExit(player), 0);
  EXPECT_EQ(program->recordCount("Quit"), 1);
  EXPECT_THAT(program->cacheFiles(), IsEmpty());
  EXPECT_EQ(program->settings(), kept);
}

TEST_F(EndToEnd, MiddleClickPausesAndAWheelFlickGoesToTheNextTrackOnce) {
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  auto shows = [&](const char* entry) { return labelsOf(program->entries()).find(entry) != std::string::npos; };
  ASSERT_TRUE(program->waitFor([&] { return shows("|Pause Spotify|"); }));
  EXPECT_TRUE(program->callItem("SecondaryActivate", g_variant_new("(ii)", 0, 0)));
  EXPECT_TRUE(program->waitFor([&] { return shows("|Resume Spotify|"); }));
  EXPECT_EQ(program->recordCount("PlayPause"), 1);
  for (int i = 0; i < 20; ++i)
    program->callItem("Scroll", g_variant_new("(is)", 1, "vertical"), false);
  EXPECT_TRUE(program->waitFor([&] { return program->recordCount("Next") == 1; }));
  EXPECT_FALSE(program->waitFor([&] { return program->recordCount("Next") > 1; }, 1000));
  EXPECT_EQ(program->recordCount("Next"), 1);
}

// `larkspur --command`, as a desktop's keyboard settings run it: each action
// does what its hotkey does; a second instance leaves the first one and the
// player alone; with none running the command fails and says why.
TEST_F(EndToEnd, CommandsReachTheRunningProgramAndASecondInstanceStepsAside) {
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  bool ok = false;
  auto command = [&](const std::string& action) {
    return runProgram({"sh", "-c", LARKSPUR_BINARY_DIR "bin/larkspur --command " + action + " 2>&1"},
                      &ok);
  };
  for (const char* action : {"next", "previous", "repeat", "shuffle", "pause"}) {
    EXPECT_EQ(command(action), "") << action;
    EXPECT_TRUE(ok) << action;
  }
  EXPECT_TRUE(program->waitFor([&] {
    return program->recordCount("Next") == 1 && program->recordCount("Previous") == 1 &&
           program->recordCount("SetPosition /com/spotify/track/t1 0") == 1 &&
           program->recordCount("Shuffle true") == 1 && program->recordCount("PlayPause") == 1;
  }));
  command("details");
  std::string details = program->waitForWindow("--name", "Current Track Details");
  ASSERT_NE(details, "");
  ASSERT_TRUE(program->closeWindow(details));

  int plays = program->recordCount("Play");
  EXPECT_THAT(runProgram({"env", "HOME=/dev/null", LARKSPUR_BINARY_DIR "bin/larkspur"}, &ok),
              ::testing::HasSubstr("already running"));
  EXPECT_TRUE(ok);
  EXPECT_EQ(program->recordCount("Play"), plays);

  kill(program->pid(), SIGTERM);
  EXPECT_EQ(program->waitForExit(program->pid()), 0);
  EXPECT_EQ(command("next"), "larkspur: Larkspur is not running\n");
  EXPECT_FALSE(ok);
}

// stand_in_portal.py on our bus while it lives; --refuse turns every session
// down.
struct StandInPortal {
  explicit StandInPortal(const char* option = "") {
    std::string script = LARKSPUR_TEST_DATA "../e2e/stand_in_portal.py";
    char* argv[] = {script.data(), const_cast<char*>(option), nullptr};
    g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid,
                  nullptr);
    runProgram({"gdbus", "wait", "--session", "--timeout", "10", "org.freedesktop.portal.Desktop"});
  }
  ~StandInPortal() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  std::string call(const std::string& method, const std::string& arg = "") {
    std::vector<std::string> argv = {"gdbus", "call", "--session", "--dest",
                                     "org.freedesktop.portal.Desktop", "--object-path",
                                     "/org/freedesktop/portal/desktop", "--method",
                                     "org.example.PortalTest." + method};
    if (!arg.empty()) argv.push_back(arg);
    return runProgram(argv);
  }
  std::string calls() { return call("Calls"); }
  GPid pid = 0;
};

// On a Wayland session the hotkeys are the portal's: all six actions in one
// session, with the stored shortcuts as preferred triggers; its Activated
// acts like a key press. A portal that goes, or refuses, leaves the program
// running without hotkeys.
TEST_F(EndToEnd, OnAWaylandSessionTheHotkeysAreThePortalsAndTheProgramOutlivesIt) {
  setenv("XDG_SESSION_TYPE", "wayland", 1);
  unsetenv("GDK_BACKEND");  // GTK tries Wayland, then takes our X server
  program->presetSettings({{"Val31", kNextHotkey}, {"Val41", "\u21e7\u2318F5"}});  // ⇧⌘F5
  auto portal = std::make_unique<StandInPortal>();
  ASSERT_TRUE(program->start());
  unsetenv("XDG_SESSION_TYPE");
  setenv("GDK_BACKEND", "x11", 1);
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  std::string six =
      "next|Next Track|CTRL+ALT+n previous|Previous Track|None repeat|Repeat Track|None "
      "shuffle|Shuffle Playlist|None pause|Pause|None details|Track Details|SHIFT+LOGO+F5";
  EXPECT_TRUE(program->waitFor(
      [&] { return portal->calls() == "(['CreateSession " + six + "', 'BindShortcuts " + six + "'],)\n"; }))
      << portal->calls();
  portal->call("Activate", "next");
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();

  portal.reset();
  portal = std::make_unique<StandInPortal>("--refuse");
  EXPECT_TRUE(program->waitFor([&] { return portal->calls().starts_with("(['CreateSession"); }));
  portal->call("Activate", "next");
  ASSERT_TRUE(program->click("Next"));
  EXPECT_TRUE(program->waitForLabel(kThirdTitle)) << program->label();
  EXPECT_EQ(program->recordCount("Next"), 2);
}

TEST_F(EndToEnd, ShortcutsAndArtworkRelaunchWithTheSettingsAdvertsAreMutedAndSigtermQuits) {
  program->presetSettings({{"Val11", std::int64_t{1}}});
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();

  // The shortcuts window saves what was typed into its first field (Next) on
  // closing; the relaunched program grabs the new hotkey.
  pid_t first = program->pid();
  ASSERT_TRUE(program->click("Set Keyboard Shortcuts..."));
  std::string window = program->waitForWindow("--name", "Set Keyboard Shortcuts");
  ASSERT_NE(window, "");
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n", window));
  ASSERT_TRUE(program->closeWindow(window));
  EXPECT_EQ(program->waitForExit(first), 0);
  ASSERT_TRUE(program->waitForSuccessor(first));
  Settings expected = defaultSettings();
  expected["Val11"] = std::int64_t{1};
  expected["Val31"] = kNextHotkey;
  EXPECT_THAT(program->settings().value_or(Settings{}), IsSupersetOf(expected));
  ASSERT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return entries.size() > 1 && entries[1].label == "Next" + std::string(50, ' ') + kNextHotkey;
  }));
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();

  // Hide Album Artwork relaunches as well, every setting kept.
  pid_t second = program->pid();
  ASSERT_TRUE(program->click("Hide Album Artwork"));
  EXPECT_EQ(program->waitForExit(second), 0);
  ASSERT_TRUE(program->waitForSuccessor(second));
  expected["Val19"] = std::int64_t{1};
  EXPECT_THAT(program->settings().value_or(Settings{}), IsSupersetOf(expected));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_THAT(labelsOf(program->entries()), ::testing::StartsWith("Show Current Track Info|Next|"));

  // The advert is muted once with the menu disabled but for Quit, and full
  // volume comes back once after it; a click on a disabled entry does nothing.
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  ASSERT_TRUE(program->waitForLabel(kThirdTitle)) << program->label();
  int fullBefore = program->recordCount("Volume 1");
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitFor([&] { return program->recordCount("Volume 0") == 1; }));
  EXPECT_TRUE(program->waitFor([&] { return enabledOf(program->entries()) == "00000000000001"; }))
      << enabledOf(program->entries());
  program->click("Next");
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitForLabel("Last Light")) << program->label();
  EXPECT_EQ(program->recordCount("Next"), 4);
  EXPECT_TRUE(program->waitFor([&] {
    return program->recordCount("Volume 1") == fullBefore + 1 &&
           enabledOf(program->entries()) == "11111111111111";
  })) << enabledOf(program->entries());
  EXPECT_FALSE(program->waitFor([&] { return program->recordCount("Volume 1") > fullBefore + 1; },
                                2500));

  // Hide Artist Name rebuilds the menu in the same process.
  pid_t third = program->pid();
  ASSERT_TRUE(program->click("Hide Artist Name"));
  EXPECT_TRUE(program->waitForLabel("Last Light \u2022 Harbour Lights")) << program->label();
  expected["Val9"] = std::int64_t{0};
  expected["Val8"] = "NoArtist";
  std::optional<Settings> kept = program->settings();
  EXPECT_THAT(kept.value_or(Settings{}), IsSupersetOf(expected));
  EXPECT_TRUE(program->running(third));

  // A termination signal ends it the way Quit does; the player keeps playing.
  kill(third, SIGTERM);
  EXPECT_EQ(program->waitForExit(third), 0);
  EXPECT_THAT(program->cacheFiles(), IsEmpty());
  EXPECT_EQ(program->settings(), kept);
  EXPECT_EQ(program->recordCount("Quit"), 0);
  EXPECT_GT(program->playerPid(), 0);
}

// A probe address whose connections are refused (the port is bound but not
// listening) until the network "comes back": then every request answers 200.
struct NetworkSwitch {
  NetworkSwitch() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  }
  ~NetworkSwitch() {
    shutdown(fd, SHUT_RDWR);
    if (server.joinable()) server.join();
    close(fd);
  }
  void comeBack() {
    listen(fd, 8);
    server = std::thread([this] {
      for (int client; (client = accept(fd, nullptr, nullptr)) >= 0; close(client), ++served) {
        char buffer[2048];
        const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        if (recv(client, buffer, sizeof buffer, 0) > 0)
          send(client, reply, sizeof reply - 1, MSG_NOSIGNAL);
      }
    });
  }

  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::string url;
  std::atomic<int> served{0};
  std::thread server;
};

TEST_F(EndToEnd, NoNetworkAtStartThenNoArtworkServerThenThePlayerGoneAndBack) {
  NetworkSwitch network;
  program->probeUrl = network.url;
  program->imagePrefix =
      "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/image/";

  // The failed probe asks to retry: Yes while the network is still down asks
  // again, Escape (no choice) counts as No and ends the program.
  ASSERT_TRUE(program->spawn());
  std::string alert = program->waitForWindow("--pid", std::to_string(program->pid()));
  ASSERT_FALSE(alert.empty());
  ASSERT_TRUE(program->pressKeys("Return", alert));
  std::string again = program->waitForWindow("--pid", std::to_string(program->pid()), alert);
  ASSERT_FALSE(again.empty());
  ASSERT_TRUE(program->pressKeys("Escape", again));
  EXPECT_EQ(program->waitForExit(program->pid()), 0);
  // A termination signal ends it while it asks.
  ASSERT_TRUE(program->spawn());
  ASSERT_FALSE(program->waitForWindow("--pid", std::to_string(program->pid())).empty());
  kill(program->pid(), SIGTERM);
  EXPECT_EQ(program->waitForExit(program->pid()), 0);
  // Yes once the network is back goes on.
  ASSERT_TRUE(program->spawn());
  pid_t pid = program->pid();
  alert = program->waitForWindow("--pid", std::to_string(pid));
  ASSERT_FALSE(alert.empty());
  network.comeBack();
  ASSERT_TRUE(program->pressKeys("Return", alert));
  ASSERT_TRUE(program->waitForSuccessor(-1));
  EXPECT_EQ(program->pid(), pid);
  EXPECT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();

  // Without the artwork server the menu leaves the artwork out, and each tick
  // tries again, probing first. The menu still answers.
  std::vector<MenuLine> entries = program->entries();
  EXPECT_EQ(entries.size(), 13u);
  EXPECT_TRUE(!entries.empty() && entries[0].label.starts_with("Next"));
  int probes = network.served;
  EXPECT_TRUE(program->waitFor([&] { return network.served >= probes + 2; }, 6000));
  ASSERT_TRUE(program->click("Next"));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_THAT(program->cacheFiles(), IsEmpty());

  // The player quits: the label empties and the program stays. The user
  // starts it again by hand and the program follows it.
  pid_t player = program->playerPid();
  ASSERT_GT(player, 0);
  kill(player, SIGTERM);
  EXPECT_TRUE(program->waitForExit(player).has_value());
  EXPECT_TRUE(program->waitForLabel("")) << program->label();
  EXPECT_TRUE(program->running(pid));
  PlayerSim player2({"--items", program->itemsPath(), "--art-base", program->imagePrefix});
  ASSERT_TRUE(player2.start());
  EXPECT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  ASSERT_TRUE(program->click("Next"));
  EXPECT_TRUE(player2.waitForRecord("Next"));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_TRUE(program->running(pid));
}

// A sound server of the test's own on a null sink; PULSE_SERVER leads the
// program, the simulated player, pacat and pactl to it. As root it warns and
// runs all the same.
struct SoundServer {
  SoundServer() {
    std::string socket = dir.file("native");
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv("HOME", dir.path().c_str(), 1);
      setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
      setenv("PULSE_RUNTIME_PATH", dir.path().c_str(), 1);
      dup2(open("/dev/null", O_WRONLY), 2);
      execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
             "-L", "module-null-sink", "-L",
             ("module-native-protocol-unix auth-anonymous=1 socket=" + socket).c_str(), nullptr);
      _exit(127);
    }
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
  }
  ~SoundServer() {
    for (pid_t p : {other, pid}) kill(p, SIGKILL), waitpid(p, nullptr, 0);
    setenv("PULSE_SERVER", oldServer.c_str(), 1);
  }
  static std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen((command + " 2>/dev/null").c_str(), "r")) {
      for (int c; (c = std::fgetc(p)) != EOF;) out += static_cast<char>(c);
      if (pclose(p) != 0) out.clear();
    }
    return out;
  }
  // Each playback stream as "name:muted " in the server's order; `index`
  // gets the index of the one called `name`.
  static std::string streams(const std::string& name = "", std::string* index = nullptr) {
    std::string json = run("pactl -f json list sink-inputs"), out;
    for (std::size_t at = 0; (at = json.find("{\"index\":", at + 1)) != std::string::npos;) {
      std::string one = json.substr(at, json.find("{\"index\":", at + 1) - at);
      std::size_t from = one.find("\"application.name\":\"") + 20;
      std::string called = one.substr(from, one.find('"', from) - from);
      if (index && called == name) *index = one.substr(9, one.find(',') - 9);
      out += called +
             (one.find("\"mute\":true") != std::string::npos ? ":1 " : ":0 ");
    }
    return out;
  }
  void playAnotherProgram() {
    other = fork();
    if (other == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(open("/dev/zero", O_RDONLY), 0);
      execlp("pacat", "pacat", nullptr);
      _exit(127);
    }
  }

  TempDir dir;
  pid_t pid = -1, other = -1;
  std::string oldServer = std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "";
};

TEST_F(EndToEnd, AnAdvertMutesThePlayersStreamAloneAndUnmutesOnlyWhatItMuted) {
  SoundServer sound;
  ASSERT_TRUE(program->waitFor([] { return !SoundServer::run("pactl info").empty(); }, 10000));
  sound.playAnotherProgram();
  std::ofstream(program->itemsPath()) << "track|t1|Morning Glass|Cedar Lane|Low Tide|1000|art1aaaa|1|0\n"
                                         "ad|a2|Advertisement|Spotify||30000|art3cccc|0|0\n";
  program->presetSettings({{"Val11", std::int64_t{1}}, {"Val31", kNextHotkey}});
  auto streamsAre = [&](const std::string& want, int ms = 5000) {
    return program->waitFor([&] { return SoundServer::streams() == want; }, ms);
  };
  ASSERT_TRUE(streamsAre("pacat:0 "));
  ASSERT_TRUE(program->start());
  auto next = [&](const char* label) {
    return program->pressKeys("ctrl+alt+n") && program->waitForLabel(label);
  };
  std::string player;
  ASSERT_TRUE(streamsAre("pacat:0 Spotify:0 ")) << SoundServer::streams();
  SoundServer::streams("Spotify", &player);

  ASSERT_TRUE(next("Advertisement"));
  EXPECT_TRUE(streamsAre("pacat:0 Spotify:1 ")) << SoundServer::streams();
  ASSERT_TRUE(next(kFirstTitle));
  EXPECT_TRUE(streamsAre("pacat:0 Spotify:0 ")) << SoundServer::streams();

  // Muted by hand before the advert: left muted after it.
  SoundServer::run("pactl set-sink-input-mute " + player + " 1");
  int volumeMutes = program->recordCount("Volume 0");
  ASSERT_TRUE(next("Advertisement"));
  ASSERT_TRUE(program->waitFor([&] { return program->recordCount("Volume 0") > volumeMutes; }));
  ASSERT_TRUE(next(kFirstTitle));
  EXPECT_FALSE(streamsAre("pacat:0 Spotify:0 ", 1500));

  // A termination signal during an advert gives the player its sound back.
  SoundServer::run("pactl set-sink-input-mute " + player + " 0");
  ASSERT_TRUE(next("Advertisement"));
  ASSERT_TRUE(streamsAre("pacat:0 Spotify:1 ")) << SoundServer::streams();
  kill(program->pid(), SIGTERM);
  EXPECT_EQ(program->waitForExit(program->pid()), 0);
  EXPECT_EQ(SoundServer::streams(), "pacat:0 Spotify:0 ");
}

}  // namespace
}  // namespace larkspur::test
