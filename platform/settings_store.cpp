#include "platform/settings_store.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"

namespace larkspur {
namespace {

// Far beyond any real settings file; anything larger is not ours to parse.
constexpr std::size_t kMaxFileBytes = 16u << 20;

enum class ReadOutcome { Missing, Unusable, Read };

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::string directoryOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

ReadOutcome readWholeFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Unusable;
  char buffer[8192];
  ReadOutcome outcome = ReadOutcome::Read;
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || out.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
      outcome = ReadOutcome::Unusable;
      break;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return outcome;
}

// A root that is not a dictionary is as useless to us as unparseable bytes.
PlistPtr parseDictionary(const std::string& bytes) {
  plist_t root = nullptr;
  if (!bytes.empty()) plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  PlistPtr owned(root);
  if (!root || plist_get_node_type(root) != PLIST_DICT) return nullptr;
  return owned;
}

// Leading blanks, an optional sign and the digits that follow; anything
// after them is ignored and values beyond the range are clamped. No digits:
// no number.
std::optional<std::int64_t> integerOfText(const std::string& text) {
  std::size_t at = text.find_first_not_of(" \t\n\r\f\v");
  if (at == std::string::npos) return std::nullopt;
  bool negative = text[at] == '-';
  if (text[at] == '-' || text[at] == '+') ++at;
  if (at >= text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const auto digit = static_cast<std::uint64_t>(text[at] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

bool makeDirectories(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (dir != "/" && dir != "." && !makeDirectories(directoryOf(dir))) return false;
  // Settings are private: directories we create are for the user alone.
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

void syncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Writes `bytes` to a fresh file beside `path` and renames it over `path`:
// a failure at any point leaves whatever was at `path` untouched.
bool replaceFileAtomically(const std::string& path, const char* bytes, std::size_t size) {
  std::string temp = path + ".tmp.XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0 && files::writeAll(fd, bytes, size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  syncDirectory(directoryOf(path));
  return true;
}

}  // namespace

struct SettingsStore::Impl {
  PlistPtr dict{plist_new_dict()};
  bool dirty = false;
  // The file at the path could not be used; keep it aside before replacing it.
  bool setAsidePending = false;

  void set(const std::string& key, plist_t node) {
    plist_dict_set_item(dict.get(), key.c_str(), node);
    dirty = true;
  }
};

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)), impl_(std::make_unique<Impl>()) {}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::read() {
  // Changes that could not be written yet are newer than the file.
  if (impl_->dirty) return true;
  std::string bytes;
  ReadOutcome outcome = readWholeFile(path_, bytes);
  PlistPtr parsed = outcome == ReadOutcome::Read ? parseDictionary(bytes) : nullptr;
  impl_->setAsidePending = outcome != ReadOutcome::Missing && !parsed;
  impl_->dict = parsed ? std::move(parsed) : PlistPtr(plist_new_dict());
  impl_->dirty = false;
  if (!impl_->setAsidePending) return true;
  setAside();
  return false;
}

// rename replaces an older .corrupt: the newest unusable file is kept.
bool SettingsStore::setAside() {
  std::string aside = path_ + ".corrupt";
  if (::rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT) return false;
  impl_->setAsidePending = false;
  return true;
}

// Entries of a neighbouring type are converted the way the platform's
// user-defaults store converts them, so a file edited by hand (a flag as
// <true/>, <real> or <string>, a shortcut as a number) means what it says.
std::optional<std::int64_t> SettingsStore::integer(const std::string& key) const {
  plist_t node = plist_dict_get_item(impl_->dict.get(), key.c_str());
  switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_UINT: {
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      // The library keeps negative integers in two's complement.
      return static_cast<std::int64_t>(value);
    }
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return value ? 1 : 0;
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      if (!(value > -9.2e18 && value < 9.2e18)) return value > 0 ? INT64_MAX : value < 0 ? INT64_MIN : 0;
      return static_cast<std::int64_t>(value);  // toward zero
    }
    case PLIST_STRING: return integerOfText(string(key).value_or(""));
    default: return std::nullopt;
  }
}

std::optional<std::string> SettingsStore::string(const std::string& key) const {
  plist_t node = plist_dict_get_item(impl_->dict.get(), key.c_str());
  switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_STRING: {
      char* value = nullptr;
      plist_get_string_val(node, &value);
      std::string out = value ? value : "";
      std::free(value);
      return out;
    }
    case PLIST_UINT:
    case PLIST_BOOLEAN: return std::to_string(*integer(key));
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      char text[32];
      auto end = std::to_chars(text, text + sizeof text, value).ptr;
      return std::string(text, end);
    }
    default: return std::nullopt;
  }
}

void SettingsStore::setInteger(const std::string& key, std::int64_t value) {
  impl_->set(key, plist_new_uint(static_cast<std::uint64_t>(value)));
}

void SettingsStore::setString(const std::string& key, const std::string& utf8) {
  impl_->set(key, plist_new_string(utf8.c_str()));
}

bool SettingsStore::synchronize() {
  if (!impl_->dirty) return true;
  if (!makeDirectories(directoryOf(path_))) return false;
  if (impl_->setAsidePending && !setAside()) return false;
  char* xml = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(impl_->dict.get(), &xml, &length);
  bool ok = xml && replaceFileAtomically(path_, xml, length);
  plist_to_xml_free(xml);
  if (ok) impl_->dirty = false;
  return ok;
}

}  // namespace larkspur
