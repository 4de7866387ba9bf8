#include "platform/process_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace larkspur {
namespace {

// The vector holds the program, the arguments and the terminating null.
constexpr std::size_t MaxArguments = 510;

bool isRunnableFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  return S_ISREG(info.st_mode) && info.st_size > 0 && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> searchPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::string list = path;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    start = end + 1;
    if (dir.empty()) continue;
    if (dir.back() != '/') dir += '/';
    if (isRunnableFile(dir + program)) return dir + program;
  }
  return std::nullopt;
}

// The file that will run, or nothing when the launch must not go ahead.
// Names that start at the root or the working directory are never looked up
// along PATH.
std::optional<std::string> findProgram(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos && isRunnableFile(program)) return program;
  if (program.starts_with("/") || program.starts_with("./")) return std::nullopt;
  return searchPath(program);
}

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::vector<std::string> splitArguments(const std::string& text) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < text.size()) {
    if (isSeparator(text[i])) {
      ++i;
    } else if (text[i] == '"') {
      // Everything up to the closing quote belongs to the argument; an
      // unterminated quote runs to the end.
      std::size_t close = text.find('"', i + 1);
      if (close == std::string::npos) close = text.size();
      args.push_back(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      std::size_t end = i;
      while (end < text.size() && !isSeparator(text[end])) ++end;
      args.push_back(text.substr(i, end - i));
      i = end;
    }
  }
  return args;
}

// Everything the child needs, prepared before forking: after fork in a
// process with other threads only async-signal-safe calls are allowed, so
// the child must not allocate.
struct LaunchPlan {
  std::string file;
  std::string directory;
  std::vector<std::string> strings;  // program text, then the arguments
  std::vector<char*> argv;
  sigset_t emptyMask;
};

[[noreturn]] void becomeProgram(const LaunchPlan& plan) {
  // Running in a directory the caller did not ask for would be worse than
  // not running at all.
  if (!plan.directory.empty() && ::chdir(plan.directory.c_str()) != 0) ::_exit(1);
  ::sigprocmask(SIG_SETMASK, &plan.emptyMask, nullptr);
  ::execv(plan.file.c_str(), plan.argv.data());
  ::_exit(1);
}

// The intermediate child: forks the program and reports its pid, then exits
// so that the program is adopted by init and nobody has to reap it.
[[noreturn]] void forkProgram(const LaunchPlan& plan, int readEnd, int writeEnd) {
  ::close(readEnd);
  pid_t grandchild = ::fork();
  if (grandchild == 0) becomeProgram(plan);
  if (grandchild < 0) ::_exit(1);
  ssize_t written = ::write(writeEnd, &grandchild, sizeof grandchild);
  ::_exit(written == static_cast<ssize_t>(sizeof grandchild) ? 0 : 1);
}

pid_t readPid(int fd) {
  pid_t pid = -1;
  auto* bytes = reinterpret_cast<char*>(&pid);
  std::size_t got = 0;
  while (got < sizeof pid) {
    ssize_t n = ::read(fd, bytes + got, sizeof pid - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    got += static_cast<std::size_t>(n);
  }
  return pid;
}

void reap(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

bool startDetached(const LaunchPlan& plan) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child == 0) forkProgram(plan, fds[0], fds[1]);
  ::close(fds[1]);
  if (child < 0) {
    ::close(fds[0]);
    return false;
  }
  pid_t grandchild = readPid(fds[0]);
  ::close(fds[0]);
  reap(child);
  return grandchild > 0;
}

}  // namespace

int ProcessLauncher::open(const Text& program, const Text& parameters, const Text& directory) {
  LaunchPlan plan;
  plan.strings.push_back(toUtf8(program));
  std::optional<std::string> file = findProgram(plan.strings.front());
  if (!file) return 0;
  std::vector<std::string> args = splitArguments(toUtf8(parameters));
  // Refused rather than cut short: a command with some of its arguments
  // missing could do something other than what was asked.
  if (args.size() > MaxArguments) return 0;
  plan.file = *file;
  plan.directory = toUtf8(directory);
  for (auto& arg : args) plan.strings.push_back(std::move(arg));
  for (auto& s : plan.strings) plan.argv.push_back(s.data());
  plan.argv.push_back(nullptr);
  sigemptyset(&plan.emptyMask);
  return startDetached(plan) ? 1 : 0;
}

}  // namespace larkspur
