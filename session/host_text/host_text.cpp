#include "host_text/host_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace dovrel {

namespace {

constexpr std::size_t kQuoteLimit = 200;
constexpr std::string_view kLoginPrompt = "login:";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

}  // namespace

bool IsLoginPrompt(std::string_view line) {
  line = TrimBlanks(line);
  if (!line.ends_with(kLoginPrompt)) return false;
  line = TrimBlanks(line.substr(0, line.size() - kLoginPrompt.size()));
  return std::none_of(line.begin(), line.end(), IsBlank);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         }) != text.end();
}

bool SaysLoginIncorrect(std::string_view line) { return ContainsIgnoringCase(line, "Login incorrect"); }

std::string QuoteHostText(std::string_view text) {
  std::string quoted;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) quoted.push_back(c);
  }
  const auto blank = [](char c) { return c == ' '; };
  while (!quoted.empty() && blank(quoted.back())) quoted.pop_back();
  quoted.erase(quoted.begin(), std::find_if_not(quoted.begin(), quoted.end(), blank));
  if (quoted.size() > kQuoteLimit) {
    std::size_t end = kQuoteLimit;
    // Step back over UTF-8 continuation bytes so no character is cut.
    while (end > 0 && (static_cast<unsigned char>(quoted[end]) & 0xC0) == 0x80) --end;
    quoted.resize(end);
  }
  return quoted;
}

std::string LastLine(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  const std::size_t start = text.find_last_of('\n');
  return QuoteHostText(start == std::string_view::npos ? text : text.substr(start + 1));
}

std::string EscapeHostText(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\\') {
      escaped += "\\\\";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace dovrel
