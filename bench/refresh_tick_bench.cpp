// Cost of one refresh tick of the real program against the simulated player,
// beside the common status-bar way of showing the playing track: one
// `playerctl metadata` process per refresh.
//
// A tick is AppController::refreshTick(): three MPRIS queries through the
// bridge, the title cleaning, the artwork cache check and the label and
// tooltip update, followed by what the GLib loop then has pending. While the
// player's state is known the queries are answered without a round trip;
// --state-max-age-ms 0 makes every query read it afresh (one GetAll each),
// the cost of a tick after every change. Figures are CPU microseconds of this
// process (all threads) and, separately, of the simulated player;
// playerctl's are those of the child (wait4). --playerctl-runs 0 skips it.
//
//   refresh_tick_bench [--ticks N] [--playerctl-runs N] [--state-max-age-ms N]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "live_program.h"

namespace {

using namespace larkspur::bench;

struct Options {
  int ticks = 2000;
  int playerctlRuns = 100;
  std::optional<int> stateMaxAgeMs;
};

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--ticks")) o.ticks = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--playerctl-runs")) o.playerctlRuns = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--state-max-age-ms")) o.stateMaxAgeMs = std::atoi(argv[i + 1]);
  }
  return o;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// CPU microseconds of one playerctl run; -1 if it could not run.
double playerctlOnce() {
  pid_t pid = fork();
  if (pid == 0) {
    if (FILE* devnull = std::fopen("/dev/null", "w")) dup2(fileno(devnull), 1);
    execlp("playerctl", "playerctl", "-p", "spotify", "metadata", "--format",
           "{{title}} \u2022 {{artist}}", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  auto us = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + t.tv_usec; };
  return us(usage.ru_utime) + us(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse(argc, argv);
  LiveProgram program;
  if (!program.start(o.stateMaxAgeMs)) return 1;
  auto& app = program.app();
  for (int i = 0; i < 50; ++i) {
    app.refreshTick();
    drainMainContext();
  }

  long sim = program.simulatorPid();
  double simBefore = otherProcessCpuUs(sim);
  double wall0 = wallUs(), cpu0 = processCpuUs();
  for (int i = 0; i < o.ticks; ++i) {
    app.refreshTick();
    drainMainContext();
  }
  double cpu = (processCpuUs() - cpu0) / o.ticks, wall = (wallUs() - wall0) / o.ticks;
  double simTick = (otherProcessCpuUs(sim) - simBefore) / o.ticks;

  // The share of the three queries and the cleaning alone.
  double title0 = processCpuUs();
  for (int i = 0; i < o.ticks; ++i) app.title().refresh();
  double titleCpu = (processCpuUs() - title0) / o.ticks;

  const char* mode = o.stateMaxAgeMs == 0 ? "reading the player afresh" : "player state known";
  std::printf("refresh tick (%s), %d ticks: %.1f us CPU per tick (this process), %.1f us wall, "
              "simulated player %.1f us CPU per tick\n",
              mode, o.ticks, cpu, wall, simTick);
  std::printf("  of which the title queries and cleaning (NowPlayingTitle::refresh): %.1f us CPU\n",
              titleCpu);
  if (o.playerctlRuns <= 0) return 0;

  std::vector<double> runs;
  simBefore = otherProcessCpuUs(sim);
  for (int i = 0; i < o.playerctlRuns; ++i) {
    double us = playerctlOnce();
    if (us < 0) {
      std::fprintf(stderr, "playerctl did not run or found no player\n");
      return 1;
    }
    runs.push_back(us);
  }
  double simRun = (otherProcessCpuUs(sim) - simBefore) / o.playerctlRuns;
  double ctlMedian = median(runs);

  std::printf("playerctl metadata, %d runs: %.0f us CPU per run (median; mean %.0f), "
              "simulated player %.1f us CPU per run\n",
              o.playerctlRuns, ctlMedian, [&] {
                double s = 0;
                for (double r : runs) s += r;
                return s / static_cast<double>(runs.size());
              }(), simRun);
  std::printf("ratio: playerctl / tick = %.1f (target at least 20)\n", ctlMedian / cpu);
  return ctlMedian / cpu >= 20 ? 0 : 2;
}
