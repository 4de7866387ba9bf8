#include "platform/process_launcher.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;

// A bare name is looked up along PATH, passing over empty entries, empty
// files and files that cannot run; the program gets the words of the
// parameters in the given directory, and no child is left to reap.
TEST(ProcessLauncher, FindsTheRunnableProgramOnPathAndPassesItsArguments) {
  test::TempDir dir;
  const std::string name = "larkspur-test-args", out = dir.file("args.out"), work = dir.file("work dir");
  for (const char* sub : {"empty", "plain", "bin", "work dir"}) fs::create_directories(dir.file(sub));
  dir.write("empty/" + name, "");
  fs::permissions(dir.file("empty/") + name, fs::perms::owner_all);
  dir.write("plain/" + name, "#!/bin/sh\nexit 0\n");
  // Records $PWD and its arguments, NUL-separated, moved into place whole.
  dir.write("bin/" + name, "#!/bin/sh\nprintf '%s\\0' \"$(pwd -P)\" \"$@\" > '" + out + ".tmp' && /bin/mv '" + out +
                               ".tmp' '" + out + "'\n");
  fs::permissions(dir.file("bin/") + name, fs::perms::owner_all);
  ProcessLauncher launcher;
  EXPECT_EQ(launcher.open(u"larkspur-no-such-program", u"", u""), 0);
  const std::string saved = std::getenv("PATH");
  ::setenv("PATH", ("::" + dir.file("empty") + ":" + dir.file("plain") + "/:" + dir.file("bin")).c_str(), 1);
  ASSERT_EQ(launcher.open(T(name), u" \thttp://a.test/x\nb ", T(work)), 1);
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);
  for (int polls = 0; !fs::exists(out) && polls < 2000; ++polls) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(dir.read("args.out"), fs::canonical(work).string() + '\0' + "http://a.test/x" + '\0' + "b" + '\0');
}

}  // namespace
}  // namespace larkspur
