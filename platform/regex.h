#pragma once
// A compiled regular expression (PCRE2, UTF-8 mode). `\d` and the other
// character classes match ASCII only.
#include <memory>
#include <string>
#include <string_view>

namespace larkspur {

class Regex {
 public:
  // An invalid pattern gives an object for which valid() is false and
  // replaceAll returns the subject unchanged.
  explicit Regex(std::string_view utf8Pattern);
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;

  bool valid() const;

  // Every match, found left to right without overlapping, replaced by
  // `replacement` taken literally. A subject that is not valid UTF-8 comes
  // back unchanged.
  std::string replaceAll(std::string_view subject, std::string_view replacement = {}) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
