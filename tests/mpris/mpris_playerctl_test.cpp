// The simulated client must look like the real one to an MPRIS client we
// did not write, or our own tests would only prove we agree with ourselves.
#include "mpris_fixture.h"

namespace larkspur {
namespace {

using MprisPlayerctl = test::MprisFixture;

std::string playerctl(std::vector<std::string> args) {
  args.insert(args.begin(), {"playerctl", "-p", "spotify"});
  bool ok = false;
  std::string out = test::runProgram(args, &ok);
  EXPECT_TRUE(ok) << args[3];
  return out;
}

TEST_F(MprisPlayerctl, ReadsAndDrivesTheSimulatedClient) {
  startSim();
  std::string metadata = playerctl({"metadata"});
  EXPECT_NE(metadata.find("mpris:trackid             '/com/spotify/track/T1aaaaaaaaaaaaaaaaaaaa'"),
            std::string::npos) << metadata;
  EXPECT_NE(metadata.find("mpris:length              125000000"), std::string::npos);
  EXPECT_EQ(playerctl({"metadata", "artist"}), "Ann, Bob\n");
  playerctl({"next"});
  playerctl({"play-pause"});
  EXPECT_EQ(playerctl({"metadata", "title"}) + playerctl({"status"}), "Second Song\nPaused\n");
  playerctl({"volume", "0.5"});
  EXPECT_EQ(sim->record(), (std::vector<std::string>{"Next", "PlayPause", "Volume 0.5"}));
}

}  // namespace
}  // namespace larkspur
