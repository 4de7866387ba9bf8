#include "platform/text.h"

#include <clocale>
#include <cwctype>

namespace larkspur {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void appendUtf16(Text& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

char16_t lower(char16_t u) {
  if (u < 0x80) return (u >= 'A' && u <= 'Z') ? static_cast<char16_t>(u + 32) : u;
  if (isHigh(u) || isLow(u)) return u;
  wint_t l = std::towlower(static_cast<wint_t>(u));
  return l <= 0xFFFF ? static_cast<char16_t>(l) : u;
}

bool matchesAt(TextView text, std::size_t pos, TextView what, Case mode) {
  if (text.size() - pos < what.size()) return false;
  if (mode == Case::Exact) return text.compare(pos, what.size(), what) == 0;
  for (std::size_t i = 0; i < what.size(); ++i) {
    if (lower(text[pos + i]) != lower(what[i])) return false;
  }
  return true;
}

}  // namespace

std::string toUtf8(TextView text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (isHigh(u) && i + 1 < text.size() && isLow(text[i + 1])) {
      appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (isHigh(u) || isLow(u)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, u);
    }
  }
  return out;
}

Text fromUtf8(std::string_view s) {
  Text out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; min = 0x10000; }
    bool ok = len > 0 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      // Skip the lead byte and whatever continuation bytes follow it, so one
      // broken sequence yields one replacement character.
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80 && len-- > 1) ++i;
      continue;
    }
    appendUtf16(out, cp);
    i += len;
  }
  return out;
}

Text removeAll(TextView text, TextView what, Case mode) {
  if (what.empty() || text.size() < what.size()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (matchesAt(text, pos, what, mode)) {
      pos += what.size();
    } else {
      out.push_back(text[pos]);
      ++pos;
    }
  }
  return out;
}

void removeAllInPlace(Text& text, TextView what, Case mode) {
  if (what.empty() || text.size() < what.size()) return;
  std::size_t read = 0;
  std::size_t write = 0;
  while (read < text.size()) {
    if (matchesAt(text, read, what, mode)) {
      read += what.size();
    } else {
      text[write++] = text[read++];
    }
  }
  text.resize(write);
}

bool contains(TextView text, TextView what) { return text.find(what) != TextView::npos; }

Text leftUnits(TextView text, std::size_t units) {
  if (units >= text.size()) return Text(text);
  if (units > 0 && isHigh(text[units - 1])) --units;
  return Text(text.substr(0, units));
}

Text decimal(long long value) {
  std::string s = std::to_string(value);
  return Text(s.begin(), s.end());
}

void setProgramLocale() {
  if (!std::setlocale(LC_ALL, "en_US.UTF-8")) std::setlocale(LC_ALL, "C.UTF-8");
  std::setlocale(LC_NUMERIC, "C");
}

std::string shellQuote(std::string_view raw) {
  std::string out = "'";
  for (char c : raw) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  out.push_back('\'');
  return out;
}

}  // namespace larkspur
