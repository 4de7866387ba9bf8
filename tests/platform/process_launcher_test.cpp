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

TEST_F(ProcessLauncherTest, ProgramGetsExactlyTheArgumentsInTheGivenDirectory) {
  const std::pair<const char*, std::vector<std::string>> splits[] = {
      {" \tlead\ntrail \n", {"lead", "trail"}}, {"\"a\tb\"c", {"a\tb", "c"}}, {"x\"y z", {"x\"y", "z"}},
      {"\"\" end", {"", "end"}}, {"\"runs to the end", {"runs to the end"}}, {"", {}}};
  for (auto [parameters, args] : splits) {
    ASSERT_EQ(launcher.open(T(Name), T(parameters), T(work.string())), 1);
    EXPECT_TRUE(noChildLeft());
    args.insert(args.begin(), work.string());
    EXPECT_EQ(waitForRun(), args) << '[' << parameters << ']';
    fs::remove(out);
  }
}

// Names with a slash run only as given; bare names are looked up along PATH,
// passing over empty entries, empty files and files that cannot run.
TEST_F(ProcessLauncherTest, OnlyBareNamesAreSearchedAndOnlyRunnableFilesFound) {
  for (const char* sub : {"empty", "plain"}) fs::create_directories(dir.file(sub));
  dir.write("empty/" + std::string(Name), "");
  fs::permissions(dir.file("empty/") + Name, fs::perms::owner_all);
  dir.write("plain/" + std::string(Name), "#!/bin/sh\nexit 0\n");
  EXPECT_EQ(launcher.open(T(std::string("./") + Name), u"", u""), 0);
  EXPECT_EQ(launcher.open(T(std::string("/") + Name), u"", u""), 0);
  EXPECT_EQ(launcher.open(u"larkspur-no-such-program", u"", u""), 0);
  ::unsetenv("PATH");
  EXPECT_EQ(launcher.open(T(Name), u"", u""), 0);
  EXPECT_TRUE(noChildLeft());
  ::setenv("PATH", ("::" + dir.file("empty") + ":" + dir.file("plain") + "/:" + bin.string()).c_str(), 1);
  ASSERT_EQ(launcher.open(T(Name), u"found", T(work.string())), 1);
  EXPECT_EQ(waitForRun(), (std::vector<std::string>{work.string(), "found"}));
}

}  // namespace
}  // namespace larkspur
