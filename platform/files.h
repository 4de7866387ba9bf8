#pragma once
// The few file-system operations the logic needs, with errno turned into
// plain answers.
#include <cstddef>
#include <string>

namespace larkspur::files {

// -1 when nothing is at the path, -2 for a directory, otherwise the size.
// A symbolic link counts as something, whatever it points to.
long long query(const std::string& path);
inline bool exists(const std::string& path) { return query(path) != -1; }

// Deletes each non-directory entry of `directory` whose name matches the
// shell pattern; sub-directories are not entered. Stops at the first entry
// that cannot be deleted. Answers false when the sweep stopped early.
bool deleteMatching(const std::string& directory, const std::string& pattern);

// A directory only we can use: created 0700 when missing; an existing one must
// be a real directory (not a link), owned by us, with mode 0700.
bool ensurePrivateDirectory(const std::string& path);
bool isPrivateDirectory(const std::string& path);

// Creates `path` with `mode` when nothing is there. Answers whether a
// directory is there afterwards.
bool ensureDirectory(const std::string& path, unsigned mode);

// Copies byte for byte into a temporary file beside `target`, takes the
// source's mode (and owner and group where permitted), then renames it over
// `target`: a failed copy never leaves a truncated target.
bool copyFileReplacing(const std::string& source, const std::string& target);

// Writes all of `data`, retrying after interruptions and short writes.
bool writeAll(int fd, const char* data, std::size_t size);

std::string directoryOf(const std::string& path);  // up to and including the last "/"

}  // namespace larkspur::files
