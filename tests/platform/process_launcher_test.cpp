#include "platform/process_launcher.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
constexpr const char* Name = "larkspur-test-args";

class ProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(bin);
    fs::create_directories(work);
    // Records $PWD and its arguments, NUL-separated, moved into place whole.
    dir.write("bin/" + std::string(Name), "#!/bin/sh\nprintf '%s\\0' \"$(pwd -P)\" \"$@\" > '" + out +
                                              ".tmp' && /bin/mv '" + out + ".tmp' '" + out + "'\n");
    fs::permissions(bin / Name, fs::perms::owner_all);
    ::setenv("PATH", (bin.string() + ":" + saved).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", saved.c_str(), 1); }

  // The working directory, then the arguments, of the one run; empty if none came.
  std::vector<std::string> waitForRun() const {
    for (int polls = 0; !fs::exists(out) && polls < 2000; ++polls) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::vector<std::string> seen;
    std::istringstream fields(dir.read("args.out"));
    for (std::string field; std::getline(fields, field, '\0');) seen.push_back(field);
    return seen;
  }
  static bool noChildLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

  test::TempDir dir;
  fs::path bin = fs::canonical(dir.path()) / "bin", work = fs::canonical(dir.path()) / "work dir";
  std::string out = dir.file("args.out"), saved = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  ProcessLauncher launcher;
};

// A bare name is looked up along PATH, passing over empty entries, empty
// files and files that cannot run; the program gets the words of the
// parameters in the given directory, and no child is left to reap.
TEST_F(ProcessLauncherTest, FindsTheRunnableProgramOnPathAndPassesItsArguments) {
  for (const char* sub : {"empty", "plain"}) fs::create_directories(dir.file(sub));
  dir.write("empty/" + std::string(Name), "");
  fs::permissions(dir.file("empty/") + Name, fs::perms::owner_all);
  dir.write("plain/" + std::string(Name), "#!/bin/sh\nexit 0\n");
  EXPECT_EQ(launcher.open(u"larkspur-no-such-program", u"", u""), 0);
  ::setenv("PATH", ("::" + dir.file("empty") + ":" + dir.file("plain") + "/:" + bin.string()).c_str(), 1);
  ASSERT_EQ(launcher.open(T(Name), u" \thttp://a.test/x\nb ", T(work.string())), 1);
  EXPECT_TRUE(noChildLeft());
  EXPECT_EQ(waitForRun(), (std::vector<std::string>{work.string(), "http://a.test/x", "b"}));
}

}  // namespace
}  // namespace larkspur
