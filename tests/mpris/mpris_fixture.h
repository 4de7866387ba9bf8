#pragma once
// A private bus, the simulated client on it with a known item list, and the
// real service and bridge in front of it.
#include <gtest/gtest.h>

#include <memory>

#include "platform/mpris/mpris_script_service.h"
#include "player/player_bridge.h"
#include "support/player_sim.h"
#include "support/gtk_session.h"

namespace larkspur::test {

inline constexpr const char* SimItems =
    "track|T1aaaaaaaaaaaaaaaaaaaa|First Song|Ann;Bob|Album One|125000|art1|4|0.57\n"
    "track|T2bbbbbbbbbbbbbbbbbbbb|Second Song|Cy|Album Two|60000|art1|5|0.2\n"
    "episode|E1cccccccccccccccccccc|An Episode|Show|Show|3725000|art2|0|0\n"
    "ad|A1dddddddddddddddddddd|Advertisement|||30000|art3|0|0\n";

class MprisFixture : public testing::Test {
 protected:
  void SetUp() override { startPrivateBus(); }

  void startSim(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--items", itemsPath});
    sim = std::make_unique<PlayerSim>(extra);
    ASSERT_TRUE(sim->start());
  }

  std::string ask(TextView script) { return toUtf8(bridge.runScript(script)); }

  TempDir dir;
  std::string itemsPath = dir.write("items.txt", SimItems);
  // The player's client only where the test puts it on PATH.
  Endpoints endpoints{.imagePrefix = "http://127.0.0.1:9/image/", .playerInstallPaths = {}};
  MprisScriptService service{endpoints, 1000, 10000};
  PlayerBridge bridge{service};
  std::unique_ptr<PlayerSim> sim;
};

}  // namespace larkspur::test
