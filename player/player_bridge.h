#pragma once
#include "platform/ports.h"
#include "platform/text.h"

namespace larkspur {

// Runs one script text and turns its answer into text: list items joined by
// line feeds (items without a text form skipped, no separator for them), a
// plain value as its text, and the empty text for every kind of failure.
class PlayerBridge {
 public:
  explicit PlayerBridge(ScriptService& service) : service_(service) {}
  Text runScript(TextView script);

 private:
  ScriptService& service_;
};

}  // namespace larkspur
