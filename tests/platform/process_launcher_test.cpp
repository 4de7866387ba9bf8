#include "platform/process_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

namespace larkspur {
namespace {

namespace fs = std::filesystem;

constexpr const char* ProgramName = "larkspur-test-args";

// What the launched program saw: its working directory and its arguments.
struct Observed {
  std::string directory;
  std::vector<std::string> args;
};

class ProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/larkspur-launch-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = fs::canonical(pattern);
    bin = root / "bin";
    fs::create_directory(bin);
    output = root / "args.out";
    writeScript(bin / ProgramName);
    if (const char* path = std::getenv("PATH")) savedPath = path;
    setPath(bin.string() + ":" + savedPath.value_or("/usr/bin:/bin"));
  }

  void TearDown() override {
    if (savedPath) ::setenv("PATH", savedPath->c_str(), 1);
    else ::unsetenv("PATH");
    fs::remove_all(root);
  }

  static void setPath(const std::string& path) { ::setenv("PATH", path.c_str(), 1); }

  // The script records $PWD and its arguments, NUL-separated, and moves the
  // record into place in one step so a reader never sees half of it.
  void writeScript(const fs::path& where) const {
    std::ofstream(where) << "#!/bin/sh\n"
                         << "printf '%s\\0' \"$(pwd -P)\" \"$@\" > '" << output.string()
                         << ".tmp' && /bin/mv '" << output.string() << ".tmp' '"
                         << output.string() << "'\n";
    fs::permissions(where, fs::perms::owner_all);
  }

  std::optional<Observed> waitForRun() const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(output)) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream in(output, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    Observed run;
    std::string field;
    for (std::istringstream fields(all.str()); std::getline(fields, field, '\0');)
      run.args.push_back(field);
    if (run.args.empty()) return std::nullopt;
    run.directory = run.args.front();
    run.args.erase(run.args.begin());
    return run;
  }

  static bool noChildLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

  ProcessLauncher launcher;
  fs::path root, bin, output;
  std::optional<std::string> savedPath;
};

struct SplitCase {
  const char* parameters;
  std::vector<std::string> args;
};

void PrintTo(const SplitCase& c, std::ostream* out) { *out << '[' << c.parameters << ']'; }

class ProcessLauncherSplitTest : public ProcessLauncherTest,
                                 public ::testing::WithParamInterface<SplitCase> {};

TEST_P(ProcessLauncherSplitTest, ProgramReceivesExactlyTheArguments) {
  ASSERT_EQ(launcher.open(T(ProgramName), T(GetParam().parameters), u""), 1);
  EXPECT_TRUE(noChildLeft());
  std::optional<Observed> run = waitForRun();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->args, GetParam().args);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, ProcessLauncherSplitTest,
    ::testing::Values(SplitCase{"https://example.test/apps", {"https://example.test/apps"}},
                      SplitCase{"one  two", {"one", "two"}},
                      SplitCase{" \tlead\ntrail \n", {"lead", "trail"}},
                      SplitCase{"\"two words\" next", {"two words", "next"}},
                      SplitCase{"\"a\tb\"c", {"a\tb", "c"}},
                      SplitCase{"x\"y z", {"x\"y", "z"}},
                      SplitCase{"\"\" end", {"", "end"}},
                      SplitCase{"\"runs to the end", {"runs to the end"}},
                      SplitCase{"", {}}));

TEST_F(ProcessLauncherTest, RunsInTheGivenDirectory) {
  fs::path work = root / "work dir";
  fs::create_directory(work);
  ASSERT_EQ(launcher.open(T(ProgramName), u"a", T(work.string())), 1);
  std::optional<Observed> run = waitForRun();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->directory, work.string());
}

TEST_F(ProcessLauncherTest, PathNameIsUsedWithoutPath) {
  ::unsetenv("PATH");
  ASSERT_EQ(launcher.open(T((bin / ProgramName).string()), u"x", u""), 1);
  std::optional<Observed> run = waitForRun();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->args, std::vector<std::string>{"x"});
}

TEST_F(ProcessLauncherTest, NamesFromHereOrTheRootAreNeverSearched) {
  EXPECT_EQ(launcher.open(T(std::string("./") + ProgramName), u"", u""), 0);
  EXPECT_EQ(launcher.open(T(std::string("/") + ProgramName), u"", u""), 0);
  EXPECT_EQ(launcher.open(u"larkspur-no-such-program", u"", u""), 0);
  ::unsetenv("PATH");
  EXPECT_EQ(launcher.open(T(ProgramName), u"", u""), 0);
  EXPECT_TRUE(noChildLeft());
}

TEST_F(ProcessLauncherTest, SearchSkipsEmptyAndNonExecutableCandidates) {
  fs::path empty = root / "empty", plain = root / "plain";
  fs::create_directories(empty);
  fs::create_directories(plain);
  std::ofstream(empty / ProgramName).flush();
  fs::permissions(empty / ProgramName, fs::perms::owner_all);
  std::ofstream(plain / ProgramName) << "#!/bin/sh\nexit 0\n";
  fs::permissions(plain / ProgramName, fs::perms::owner_read | fs::perms::owner_write);
  setPath("::" + empty.string() + ":" + plain.string() + "/:" + bin.string());
  ASSERT_EQ(launcher.open(T(ProgramName), u"found", u""), 1);
  std::optional<Observed> run = waitForRun();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->args, std::vector<std::string>{"found"});
}

std::string words(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "w" + std::to_string(i) + " ";
  return out;
}

TEST_F(ProcessLauncherTest, TakesAtMost510Arguments) {
  EXPECT_EQ(launcher.open(T(ProgramName), T(words(511)), u""), 0);
  ASSERT_EQ(launcher.open(T(ProgramName), T(words(510)), u""), 1);
  std::optional<Observed> run = waitForRun();
  ASSERT_TRUE(run);
  ASSERT_EQ(run->args.size(), 510u);
  EXPECT_EQ(run->args.back(), "w509");
}

}  // namespace
}  // namespace larkspur
