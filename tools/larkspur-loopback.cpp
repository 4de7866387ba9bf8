// The real program with every outside address taken from a file, for the
// end-to-end tests and the demo: the probe and artwork servers on loopback,
// the simulated player. The file is named by LARKSPUR_ENDPOINTS_FILE (kept
// across relaunches, which start this executable again) and holds lines
// "key=value" with the keys probeUrl, imagePrefix, webHost, otherAppsUrl and
// tempDirectory.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/endpoints.h"
#include "platform/real_program.h"

int main() {
  larkspur::Endpoints endpoints;
  const char* path = std::getenv("LARKSPUR_ENDPOINTS_FILE");
  if (!path) {
    std::fprintf(stderr, "larkspur-loopback: LARKSPUR_ENDPOINTS_FILE is not set\n");
    return 2;
  }
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "probeUrl") endpoints.probeUrl = value;
    else if (key == "imagePrefix") endpoints.imagePrefix = value;
    else if (key == "webHost") endpoints.webHost = value;
    else if (key == "otherAppsUrl") endpoints.otherAppsUrl = value;
    else if (key == "tempDirectory") endpoints.tempDirectory = value;
  }
  return larkspur::runRealProgram(endpoints);
}
