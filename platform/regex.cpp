#include "platform/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>

namespace larkspur {
namespace {

// Never a null pointer, even for an empty view.
PCRE2_SPTR units(std::string_view s) {
  return reinterpret_cast<PCRE2_SPTR>(s.empty() ? "" : s.data());
}

}  // namespace

struct Regex::Impl {
  pcre2_code* code = nullptr;
  ~Impl() { pcre2_code_free(code); }
};

Regex::Regex(std::string_view utf8Pattern) : impl_(std::make_unique<Impl>()) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  // No PCRE2_UCP: `\d` stays the ASCII digits 0 to 9.
  impl_->code = pcre2_compile(units(utf8Pattern), utf8Pattern.size(), PCRE2_UTF, &error, &offset,
                              nullptr);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::valid() const { return impl_ && impl_->code; }

std::string Regex::replaceAll(std::string_view subject, std::string_view replacement) const {
  if (!valid()) return std::string(subject);
  const std::uint32_t options =
      PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_LITERAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH;
  std::string out(subject.size() + replacement.size() + 1, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    PCRE2_SIZE length = out.size();
    // The subject is checked for valid UTF-8 here; an invalid one is an
    // error, never undefined behaviour.
    int rc = pcre2_substitute(impl_->code, units(subject), subject.size(), 0, options, nullptr,
                              nullptr, units(replacement), replacement.size(),
                              reinterpret_cast<PCRE2_UCHAR*>(out.data()), &length);
    if (rc >= 0) {
      out.resize(length);
      return out;
    }
    if (rc != PCRE2_ERROR_NOMEMORY) break;
    out.assign(length, '\0');  // OVERFLOW_LENGTH told us the size needed
  }
  return std::string(subject);
}

}  // namespace larkspur
