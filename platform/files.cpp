#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace larkspur::files {

long long query(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return -2;
  if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return -2;
  return static_cast<long long>(st.st_size);
}

bool deleteMatching(const std::string& directory, const std::string& pattern) {
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return false;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    if (::fnmatch(pattern.c_str(), e->d_name, 0) == 0) names.emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::string base = directory;
  if (base.empty() || base.back() != '/') base.push_back('/');
  for (const auto& name : names) {
    std::string path = base + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (::unlink(path.c_str()) != 0) return false;
  }
  return true;
}

bool ensurePrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return isPrivateDirectory(path);
}

bool isPrivateDirectory(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700;
}

bool ensureDirectory(const std::string& path, unsigned mode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (::mkdir(path.c_str(), mode) != 0) return false;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

bool copyAll(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || !writeAll(out, buffer, static_cast<std::size_t>(n))) return false;
  }
}

}  // namespace

bool copyFileReplacing(const std::string& source, const std::string& target) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  std::string temp = target + ".XXXXXX";
  int out = ::mkstemp(temp.data());
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = copyAll(in, out);
  ::close(in);
  if (ok) {
    // Owner and group can only be given away by a privileged user; the mode
    // is ours to copy either way.
    (void)::fchown(out, st.st_uid, st.st_gid);
    ok = ::fchmod(out, st.st_mode & 07777) == 0 && ::fsync(out) == 0;
  }
  ok = (::close(out) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string directoryOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace larkspur::files
