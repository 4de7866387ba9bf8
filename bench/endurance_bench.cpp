// Endurance of the real program in process: many status-item rebuilds and
// refresh ticks in one run against the simulated player, with resident
// memory and open file descriptors sampled along the way. Run it under
// valgrind or a LeakSanitizer build for the leak check; the counts can be
// lowered for that. Every tick reads the player afresh (one GetAll per
// query), so that the whole bus path is run each time rather than answered
// from the state the program keeps between changes.
//
//   endurance_bench [--rebuilds N] [--ticks N] [--samples N]
#include <algorithm>
#include <cstring>

#include "live_program.h"

namespace {

using namespace larkspur::bench;

struct Sample {
  const char* phase;
  int done;
  long rssKiB, fds;
};

void print(const Sample& s) {
  std::printf("%-8s %6d  rss %6ld KiB  fds %3ld\n", s.phase, s.done, s.rssKiB, s.fds);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  int rebuilds = 2000, ticks = 10000, samples = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--rebuilds")) rebuilds = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--ticks")) ticks = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--samples")) samples = std::atoi(argv[i + 1]);
  }
  LiveProgram program;
  if (!program.start(0)) return 1;
  auto& app = program.app();
  // Warm up: caches, fonts, icon themes and the bus connections settle.
  for (int i = 0; i < 20; ++i) {
    app.rebuildStatusItem();
    app.refreshTick();
    drainMainContext();
  }
  Sample first{"start", 0, residentKiB(), openDescriptors()};
  print(first);
  Sample last = first;
  int rebuildStep = std::max(1, rebuilds / samples), tickStep = std::max(1, ticks / samples);
  for (int i = 1; i <= rebuilds; ++i) {
    app.rebuildStatusItem();
    drainMainContext();
    if (i % rebuildStep == 0) print(last = {"rebuilds", i, residentKiB(), openDescriptors()});
  }
  for (int i = 1; i <= ticks; ++i) {
    app.refreshTick();
    drainMainContext();
    if (i % tickStep == 0) print(last = {"ticks", i, residentKiB(), openDescriptors()});
  }
  std::printf("growth: rss %+ld KiB, fds %+ld\n", last.rssKiB - first.rssKiB, last.fds - first.fds);
  // A blocking bus call's wake-up descriptor can still be open at the moment
  // of a sample, so one descriptor either way is noise, not a leak.
  return last.fds <= first.fds + 1 ? 0 : 2;
}
