// Whole runs of the real program against the simulated player, on this test
// process's own X server and bus, with a fresh home, cache directory and
// loopback servers: what only the whole program shows, the rest being proven
// against the fakes and on the desktop piece by piece.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/e2e_program.h"

namespace larkspur::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kNextHotkey = "\u2303\u2325N";  // Control-Option-N

// A helper program of the test's own, ended with it.
struct Child {
  explicit Child(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    g_spawn_async(nullptr, args.data(), nullptr,
                  GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                              G_SPAWN_STDERR_TO_DEV_NULL),
                  [](gpointer) { prctl(PR_SET_PDEATHSIG, SIGKILL); }, nullptr, &pid, nullptr);
  }
  ~Child() { kill(pid, SIGKILL), waitpid(pid, nullptr, 0); }
  GPid pid = 0;
};

// `larkspur --command`, as a desktop's keyboard settings run it; its
// standard output and error, and "(failed)" after them if it fails.
std::string command(const std::string& action) {
  return runProgram({"sh", "-c", LARKSPUR_BINARY_DIR "bin/larkspur --command " + action + " 2>&1 || echo '(failed)'"});
}

// The copy a user installs: the loopback build put beside the program in
// the tree `cmake --install` lays out, where it finds its images in
// ../share/larkspur. Its first run without network asks whether to try
// again, and Escape, no, ends it. Then a second instance steps aside; a
// hotkey typed into the shortcuts window is saved on closing it, and the
// program relaunched grabs it; each command does what its hotkey does;
// after Quit a command finds no program.
TEST(EndToEnd, InstalledWithoutNetworkThenASecondInstanceAHotkeyAcrossARelaunchCommandsAndQuit) {
  std::string error;
  if (!startGtkSession(&error)) GTEST_SKIP() << "no private X server: " << error;
  E2eProgram program("track|t1|Morning Glass|Cedar Lane|Low Tide|215000|art1aaaa|1|0.5\n"
                     "track|t2|Paper Harbour|Cedar Lane|Low Tide|187500|art1aaaa|2|0.4\n");
  TempDir dest;
  bool ok = false;
  runProgram({"env", "DESTDIR=" + dest.path(), LARKSPUR_CMAKE_COMMAND, "--install",
              LARKSPUR_BINARY_DIR, "--prefix", "/usr"}, &ok);
  ASSERT_TRUE(ok);
  program.executable = dest.file("usr/bin/larkspur-loopback");
  std::filesystem::copy_file(LARKSPUR_BINARY_DIR "tools/larkspur-loopback", program.executable);
  std::string probe = program.probeUrl;
  program.probeUrl = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/";
  ASSERT_TRUE(program.spawn());
  ASSERT_TRUE(program.pressKeys("Escape", program.waitForWindow("--pid", std::to_string(program.pid()))));
  EXPECT_EQ(program.waitForExit(program.pid()), 0);

  program.probeUrl = probe;
  ASSERT_TRUE(program.start());
  EXPECT_THAT(program.item("IconPixmap"), StartsWith("[(")) << "no icon";
  EXPECT_TRUE(program.waitForLabel("Morning Glass")) << program.item("XAyatanaLabel");
  EXPECT_THAT(runProgram({"env", "HOME=/dev/null", LARKSPUR_BINARY_DIR "bin/larkspur"}, &ok),
              HasSubstr("already running"));
  EXPECT_TRUE(ok);

  ASSERT_TRUE(program.entry("Set Keyboard Shortcuts", true));
  std::string window = program.waitForWindow("--name", "Set Keyboard Shortcuts");
  ASSERT_TRUE(program.pressKeys("ctrl+alt+n", window));
  ASSERT_TRUE(program.closeWindow(window));
  EXPECT_EQ(program.waitForExit(program.pid()), 0);
  ASSERT_TRUE(program.waitForItem());
  ASSERT_TRUE(program.entry("Next +" + kNextHotkey)) << "the hotkey not kept";
  for (const char* action : {"next", "previous", "repeat", "shuffle", "pause", "pause", "details"})
    EXPECT_EQ(command(action), "") << action;
  EXPECT_TRUE(iterateUntil([&] {
    return program.recordCount("Next") == 1 && program.recordCount("Previous") == 1 &&
           program.recordCount("SetPosition /com/spotify/track/t1 0") == 1 &&
           program.recordCount("Shuffle true") == 1 && program.recordCount("PlayPause") == 2;
  }));
  EXPECT_NE(program.waitForWindow("--name", "Current Track Details"), "");

  ASSERT_TRUE(program.pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program.waitForLabel("Paper Harbour")) << program.item("XAyatanaLabel");

  ASSERT_TRUE(program.entry("Quit", true));
  EXPECT_TRUE(iterateUntil([&] { return command("next") == "larkspur: Larkspur is not running\n(failed)\n"; }));
}

// The sound server's playback streams, "name:muted" each, in their order.
std::string streams() {
  return runProgram({"sh", "-c",
                     "pactl -f json list sink-inputs | python3 -c 'import json, sys; print(*(\"%s:%d\" "
                     "% (s[\"properties\"][\"application.name\"], s[\"mute\"]) for s in json.load(sys.stdin)))'"});
}

// On a Wayland session the hotkeys are the portal's (stand_in_portal.py):
// all six actions in one session, the stored shortcuts as preferred
// triggers; its Activated acts like a key press. Adverts mute the player's
// stream on a sound server of the test's own (a null sink; PULSE_SERVER
// leads the program, the player and pactl to it) and unmute only what was
// muted. A portal that comes back refusing leaves the program running, and
// a termination signal during an advert gives the player its sound back.
TEST(EndToEnd, OnWaylandThePortalsHotkeysDriveAdvertsThatMuteThePlayersStreamAlone) {
  std::string error;
  if (!startGtkSession(&error)) GTEST_SKIP() << "no private X server: " << error;
  E2eProgram program("track|t1|Morning Glass|Cedar Lane|Low Tide|1000|art1aaaa|1|0\n"
                     "ad|a2|Advertisement|Spotify||30000|art2bbbb|0|0\n");
  TempDir sound;
  std::string at = sound.path();
  Child pulse({"env", "HOME=" + at, "XDG_RUNTIME_DIR=" + at, "PULSE_RUNTIME_PATH=" + at, "pulseaudio",
               "-n", "--daemonize=no", "--exit-idle-time=-1", "-L", "module-null-sink", "-L",
               "module-native-protocol-unix auth-anonymous=1 socket=" + at + "/native"});
  setenv("PULSE_SERVER", ("unix:" + at + "/native").c_str(), 1);
  bool up = false;
  ASSERT_TRUE(iterateUntil([&] { return runProgram({"pactl", "info"}, &up), up; }, 10000));
  Child otherProgram({"sh", "-c", "exec pacat </dev/zero"});
  auto streamsAre = [&](const std::string& want, int ms = 5000) {
    return iterateUntil([&] { return streams() == want + "\n"; }, ms);
  };

  std::string portalScript = LARKSPUR_TEST_DATA "../e2e/stand_in_portal.py";
  auto portal = std::make_unique<Child>(std::vector<std::string>{portalScript});
  auto toPortal = [](const std::string& what) {  // "calls", or an action to activate
    return runProgram({"gdbus", "call", "--session", "--dest", "org.freedesktop.portal.Desktop",
                       "--object-path", "/org/freedesktop/portal/desktop", "--method",
                       "org.example.PortalTest.Test", what});
  };
  runProgram({"gdbus", "wait", "--session", "--timeout", "10", "org.freedesktop.portal.Desktop"});
  std::ofstream(program.file("home/Library/Preferences/Larkspur.plist"))
      << "<plist version=\"1.0\"><dict><key>Val9</key><integer>1</integer><key>Val11</key><integer>1</integer>"
         "<key>Val31</key><string>" + kNextHotkey + "</string>"
         "<key>Val41</key><string>\u21e7\u2318F5</string></dict></plist>\n";  // ⇧⌘F5
  setenv("XDG_SESSION_TYPE", "wayland", 1);
  unsetenv("GDK_BACKEND");  // GTK tries Wayland, then takes our X server
  ASSERT_TRUE(program.start());
  std::string six =
      "next|Next Track|CTRL+ALT+n previous|Previous Track|None repeat|Repeat Track|None "
      "shuffle|Shuffle Playlist|None pause|Pause|None details|Track Details|SHIFT+LOGO+F5";
  EXPECT_TRUE(iterateUntil([&] {
    return toPortal("calls") == "(['CreateSession " + six + "', 'BindShortcuts " + six + "'],)\n";
  })) << toPortal("calls");
  auto next = [&](const char* label) { return toPortal("next"), program.waitForLabel(label); };
  ASSERT_TRUE(streamsAre("pacat:0 Spotify:0")) << streams();

  ASSERT_TRUE(next("Advertisement"));
  EXPECT_TRUE(streamsAre("pacat:0 Spotify:1")) << streams();
  ASSERT_TRUE(next("Morning Glass"));
  EXPECT_TRUE(streamsAre("pacat:0 Spotify:0")) << streams();
  // Muted by hand before the advert: left muted after it.
  auto muteAll = [](const std::string& on) {
    runProgram({"sh", "-c", "for i in $(pactl list short sink-inputs | cut -f1); do "
                            "pactl set-sink-input-mute $i " + on + "; done"});
  };
  muteAll("1");
  int volumeMutes = program.recordCount("Volume 0");
  ASSERT_TRUE(next("Advertisement"));
  ASSERT_TRUE(iterateUntil([&] { return program.recordCount("Volume 0") > volumeMutes; }));
  ASSERT_TRUE(next("Morning Glass"));
  EXPECT_FALSE(streamsAre("pacat:1 Spotify:0", 1500));
  muteAll("0");

  portal.reset();
  portal = std::make_unique<Child>(std::vector<std::string>{portalScript, "--refuse"});
  EXPECT_TRUE(iterateUntil([&] { return toPortal("calls").starts_with("(['CreateSession"); }));
  ASSERT_TRUE(program.entry("Next", true));
  ASSERT_TRUE(program.waitForLabel("Advertisement"));
  ASSERT_TRUE(streamsAre("pacat:0 Spotify:1")) << streams();
  kill(program.pid(), SIGTERM);
  EXPECT_EQ(program.waitForExit(program.pid()), 0);
  EXPECT_EQ(streams(), "pacat:0 Spotify:0\n");
}

}  // namespace
}  // namespace larkspur::test
