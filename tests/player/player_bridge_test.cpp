#include "player/player_bridge.h"

#include <gtest/gtest.h>

#include "support/fake_player.h"

namespace larkspur {
namespace {

using test::FakePlayer;

ScriptResult list(std::vector<std::optional<std::string>> items) { return ScriptResult{{}, std::move(items), true}; }

TEST(PlayerBridge, TurnsEveryAnswerIntoText) {
  const Text script = u"any text";
  const std::pair<std::optional<ScriptResult>, Text> cases[] = {
      {list({"a", "b", "c"}), u"a\nb\nc"},
      {list({"a", std::nullopt}), u"a\n"},        // last item without text: trailing line feed
      {list({"a", std::nullopt, "c"}), u"a\nc"},  // middle item without text: no empty line
      {FakePlayer::value("true"), u"true"},
      {ScriptResult{}, u""},  // a value without a text form
      {std::nullopt, u""},    // no result at all
      {FakePlayer::value("caf\xC3\xA9 \xFF"), u"café \uFFFD"},
  };
  for (const auto& [answer, expected] : cases) {
    FakePlayer player;
    player.overrides[script] = answer;
    EXPECT_EQ(PlayerBridge(player).runScript(script), expected);
    EXPECT_EQ(player.received, std::vector<Text>{script});  // sent exactly as given
  }
}

}  // namespace
}  // namespace larkspur
