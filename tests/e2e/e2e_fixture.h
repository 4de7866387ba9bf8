#pragma once
// The real program against the simulated player, on this test process's own
// X server and bus, with a fresh home, cache directory and loopback servers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/e2e_program.h"
#include "support/gtk_session.h"

namespace larkspur::test {

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
    program = std::make_unique<E2eProgram>();
    program->setItems(kItems);
  }
  void TearDown() override { program.reset(); }

  std::unique_ptr<E2eProgram> program;
};

}  // namespace larkspur::test
