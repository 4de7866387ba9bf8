// The program in the tree that `cmake --install` lays out, in a temporary
// DESTDIR. The installed larkspur asks the public network at start, so the
// loopback build of the same program is put beside it in bin/: both look
// for their images from their own directory, in ../share/larkspur/.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "support/e2e_program.h"

namespace larkspur::test {
namespace {

// The names of the files in the watched directory that were read since the
// last call, as the kernel reports them.
void collectReads(int watch, std::set<std::string>& names) {
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(p);
      if (event->len) names.insert(event->name);
      p += sizeof(inotify_event) + event->len;
    }
  }
}

TEST(InstalledProgram, ReadsItsStatusIconAndAboutIconFromTheInstalledTree) {
  std::string error;
  if (!startGtkSession(&error)) GTEST_SKIP() << "no private X server: " << error;
  TempDir dest;
  bool installed = false;
  runProgram({"env", "DESTDIR=" + dest.path(), LARKSPUR_CMAKE_COMMAND, "--install",
              LARKSPUR_BINARY_DIR, "--prefix", "/usr"},
             &installed);
  ASSERT_TRUE(installed);
  std::string program = dest.file("usr/bin/larkspur-loopback");
  std::filesystem::copy_file(LARKSPUR_BINARY_DIR "tools/larkspur-loopback", program);
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, dest.file("usr/share/larkspur").c_str(), IN_ACCESS), 0);

  E2eProgram run("track|t1|Morning Glass|Cedar Lane|Low Tide|215000|art1aaaa|1|0.5\n");
  run.executable = program;
  ASSERT_TRUE(run.start());
  std::set<std::string> read;
  auto any = [&](const char* a, const char* b) { return read.count(a) + read.count(b) > 0; };
  EXPECT_TRUE(run.waitFor([&] {
    collectReads(watch, read);
    return any("ss_icon.png", "inv_ss_icon.png") && any("fancy_app_icon.png", "fancy_app_iconx2.png");
  }, 10000)) << "read: " << ::testing::PrintToString(read);
  close(watch);
}

}  // namespace
}  // namespace larkspur::test
