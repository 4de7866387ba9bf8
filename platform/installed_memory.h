#pragma once
// How much memory the machine has installed, as its owner would state it.
#include <cstdint>
#include <string>

namespace larkspur {

// The online blocks under `memoryDirectory` (/sys/devices/system/memory)
// times their block size. Where the kernel offers no blocks, its own total
// rounded up to the next GiB: the kernel keeps some memory for itself, so
// its total is always a little under what is installed.
std::uint64_t installedMemory(const std::string& memoryDirectory, std::uint64_t kernelTotal);

}  // namespace larkspur
