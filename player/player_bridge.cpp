#include "player/player_bridge.h"

namespace larkspur {

Text PlayerBridge::runScript(TextView script) {
  std::optional<ScriptResult> result = service_.execute(script);
  if (!result) return {};
  if (result->isList && !result->items.empty()) {
    Text out;
    const std::size_t n = result->items.size();
    for (std::size_t i = 0; i < n; ++i) {
      const auto& item = result->items[i];
      if (!item) continue;
      out += fromUtf8(*item);
      if (i + 1 < n) out.push_back(u'\n');
    }
    return out;
  }
  return result->text ? fromUtf8(*result->text) : Text{};
}

}  // namespace larkspur
