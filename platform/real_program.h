#pragma once
#include "platform/endpoints.h"

namespace larkspur {

// Wires the real desktop, the real player and the real network to the
// application core and starts it. Returns only when the desktop cannot be
// opened (no display), with the status to exit with.
int runRealProgram(const Endpoints& endpoints);

}  // namespace larkspur
