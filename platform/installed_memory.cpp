#include "platform/installed_memory.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>

namespace larkspur {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool isBlockName(const char* name) {
  std::string n = name;
  return n.size() > 6 && n.compare(0, 6, "memory") == 0 &&
         n.find_first_not_of("0123456789", 6) == std::string::npos;
}

}  // namespace

std::uint64_t installedMemory(const std::string& memoryDirectory, std::uint64_t kernelTotal) {
  const std::string base = memoryDirectory + "/";
  const std::uint64_t blockSize = std::strtoull(firstLine(base + "block_size_bytes").c_str(), nullptr, 16);
  std::uint64_t online = 0;
  if (DIR* dir = blockSize ? ::opendir(memoryDirectory.c_str()) : nullptr) {
    while (dirent* e = ::readdir(dir))
      if (isBlockName(e->d_name) && firstLine(base + e->d_name + "/online") == "1") ++online;
    ::closedir(dir);
  }
  if (online > 0) return online * blockSize;
  return (kernelTotal + kGiB - 1) / kGiB * kGiB;
}

}  // namespace larkspur
