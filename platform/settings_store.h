#pragma once
// The settings file: one XML property list holding a dictionary of entries.
// The whole dictionary lives in memory between `read` and `synchronize`;
// entries the program does not know are carried along untouched.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace larkspur {

class SettingsStore {
 public:
  explicit SettingsStore(std::string path);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Replaces what is in memory with the file's entries. A missing file reads
  // as no entries. A file that cannot be read or parsed as a dictionary also
  // reads as no entries and is moved aside to `<path>.corrupt` at once (or,
  // should that fail, before the next write), so that the user's data is
  // never overwritten unseen; read then answers false. While changes wait to
  // be written (a write failed), memory is kept as it is.
  bool read();

  // nullopt when there is no entry under the key that reads as one: an
  // integer reads booleans, reals (toward zero) and texts that start with a
  // number; a text reads numbers and booleans ("1", "0") as their text.
  std::optional<std::int64_t> integer(const std::string& key) const;
  std::optional<std::string> string(const std::string& key) const;

  void setInteger(const std::string& key, std::int64_t value);
  void setString(const std::string& key, const std::string& utf8);

  // Writes the whole dictionary atomically (temporary file, fsync, rename,
  // fsync of the directory), mode 0600, creating missing directories. Does
  // nothing when nothing changed since the last successful write; on failure
  // the old file stays whole and the next call tries again. Answers whether
  // the file now holds what is in memory.
  bool synchronize();

  const std::string& path() const { return path_; }

 private:
  bool setAside();
  struct Impl;
  std::string path_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
