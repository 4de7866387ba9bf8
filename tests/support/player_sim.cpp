#include "player_sim.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "private_bus.h"

namespace larkspur::test {
namespace {

// Starts args in a child that dies with us.
pid_t spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

void stopProcess(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 5000)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
}

}  // namespace

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string PlayerSim::executable() { return LARKSPUR_BINARY_DIR "tools/spotify-sim"; }

PlayerSim::PlayerSim(std::vector<std::string> args)
    : args_(std::move(args)), recordPath_(dir_.file("record.txt")) {}

PlayerSim::~PlayerSim() { stop(); }

bool PlayerSim::start(int timeoutMs) {
  std::vector<std::string> argv = {executable(), "--record", recordPath_};
  argv.insert(argv.end(), args_.begin(), args_.end());
  pid_ = spawn(argv);
  if (pid_ <= 0) return false;
  return waitUntil([] { return busHasNameWithPrefix(SimBusName); }, timeoutMs);
}

void PlayerSim::stop() {
  if (pid_ > 0) stopProcess(pid_);
  pid_ = -1;
}

std::vector<std::string> PlayerSim::record() const { return readLines(recordPath_); }

bool PlayerSim::waitForRecord(const std::string& line, int timeoutMs) const {
  return waitUntil([&] {
    auto lines = record();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }, timeoutMs);
}

SimOnPath::SimOnPath(const std::string& simArgs) {
  std::filesystem::create_symlink(PlayerSim::executable(), dir_.file("spotify"));
  const char* path = std::getenv("PATH");
  oldPath_ = path ? path : "/usr/bin:/bin";
  setenv("PATH", (dir_.path() + ":" + oldPath_).c_str(), 1);
  setenv("LARKSPUR_SIM_ARGS", simArgs.c_str(), 1);
}

SimOnPath::~SimOnPath() {
  setenv("PATH", oldPath_.c_str(), 1);
  unsetenv("LARKSPUR_SIM_ARGS");
}

}  // namespace larkspur::test
