#include "player_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "private_bus.h"

namespace larkspur::test {
namespace {

std::vector<char*> cArgs(std::vector<std::string>& args) {
  std::vector<char*> out;
  for (auto& a : args) out.push_back(a.data());
  out.push_back(nullptr);
  return out;
}

// Starts argv in a child that dies with us; stdout goes to `outFd` if given.
pid_t spawn(std::vector<std::string> args, int outFd) {
  std::vector<char*> argv = cArgs(args);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (outFd >= 0) dup2(outFd, STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

bool reapWithin(pid_t pid, int timeoutMs, int* status) {
  return waitUntil([&] { return waitpid(pid, status, WNOHANG) == pid; }, timeoutMs);
}

void stopProcess(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  if (!reapWithin(pid, 5000, &status)) {
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
  pid_ = spawn(argv, -1);
  if (pid_ <= 0) return false;
  return waitUntil([] { return busHasNameWithPrefix(SimBusName); }, timeoutMs);
}

void PlayerSim::stop() {
  if (pid_ > 0) stopProcess(pid_);
  pid_ = -1;
}

bool PlayerSim::waitForExit(int timeoutMs) {
  int status = 0;
  if (pid_ <= 0 || !reapWithin(pid_, timeoutMs, &status)) return false;
  pid_ = -1;
  return true;
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

CommandResult runCommand(const std::vector<std::string>& argv, int timeoutMs) {
  CommandResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  pid_t pid = spawn(argv, fds[1]);
  close(fds[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[4096];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    result.output.append(buf, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  if (pid > 0 && reapWithin(pid, 2000, &status) && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  else if (pid > 0) stopProcess(pid);
  return result;
}

}  // namespace larkspur::test
