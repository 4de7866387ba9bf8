#include "platform/mpris/mpris_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace larkspur {
namespace {

TEST(MprisText, PlayerCommandPrefersInstallPathsThenFlatpak) {
  test::TempDir dir;
  auto executable = [&](const std::string& name) {
    std::string p = dir.write(name, "#!/bin/sh\n");
    chmod(p.c_str(), 0755);
    return p;
  };
  std::string installed = executable("installed");
  std::string bin = dir.path() + "/bin";
  mkdir(bin.c_str(), 0755);
  executable("bin/flatpak");
  executable("bin/spotify");  // passed over while an install path has it
  using Argv = std::vector<std::string>;
  EXPECT_EQ(mpris::playerCommand({dir.file("absent"), installed}, "spotify", bin, ""), Argv{installed});
  EXPECT_EQ(mpris::playerCommand({"~/installed"}, "spotify", "", dir.path()), Argv{installed});
  EXPECT_EQ(mpris::playerCommand({}, "other", bin, ""), (Argv{bin + "/flatpak", "run", "com.spotify.Client"}));
  EXPECT_TRUE(mpris::playerCommand({}, "other", dir.file("absent"), "").empty());
}

}  // namespace
}  // namespace larkspur
