#include "session/host_text/host_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "session/host_text/host_chars.h"

namespace dovrel {

namespace {

constexpr std::size_t kQuoteLimit = 200;


std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

}  // namespace

bool IsLoginPrompt(std::string_view line) {
  line = TrimBlanks(line);
  if (!line.ends_with(kLoginPromptText)) return false;
  line = TrimBlanks(line.substr(0, line.size() - kLoginPromptText.size()));
  return std::none_of(line.begin(), line.end(), IsBlank);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         }) != text.end();
}

bool SaysLoginIncorrect(std::string_view line) { return ContainsIgnoringCase(line, kLoginIncorrectText); }

std::string QuoteHostText(std::string_view text) {
  std::string quoted;
  HostChars chars(text);
  while (const auto next = chars.Next()) {
    if (!next->control) quoted.append(next->bytes);
  }
  const auto blank = [](char c) { return c == ' '; };
  while (!quoted.empty() && blank(quoted.back())) quoted.pop_back();
  quoted.erase(quoted.begin(), std::find_if_not(quoted.begin(), quoted.end(), blank));
  if (quoted.size() > kQuoteLimit) {
    // Cut at the last whole character within the limit.
    std::size_t end = 0;
    HostChars kept(quoted);
    while (const auto next = kept.Next()) {
      if (end + next->bytes.size() > kQuoteLimit) break;
      end += next->bytes.size();
    }
    quoted.resize(end);
  }
  return quoted;
}

std::string QuoteHostText(const HostWords& words, std::string_view lineSeparator) {
  std::string quoted;
  std::string_view text = words.m_said;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string line = QuoteHostText(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    if (!quoted.empty()) quoted += lineSeparator;
    quoted += line;
  }
  return quoted;
}

std::string EscapeHostText(const HostWords& words) { return EscapeHostText(std::string_view(words.m_said)); }

std::string LastLine(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  const std::size_t start = text.find_last_of('\n');
  return QuoteHostText(start == std::string_view::npos ? text : text.substr(start + 1));
}

std::string EscapeHostText(std::string_view text) {
  std::string escaped;
  HostChars chars(text);
  while (const auto next = chars.Next()) {
    if (next->bytes == "\r") {
      escaped += "\\r";
    } else if (next->bytes == "\n") {
      escaped += "\\n";
    } else if (next->bytes == "\\") {
      escaped += "\\\\";
    } else if (next->control) {
      for (const char c : next->bytes) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
        escaped += hex;
      }
    } else {
      escaped.append(next->bytes);
    }
  }
  return escaped;
}

// What shells say when a command cannot be run: dash "kterm: not found",
// bash "kterm: command not found", tcsh "kterm: Command not found.", zsh
// "command not found: kterm", fish "Unknown command: kterm", and the errors
// of a path that is missing or not executable.
bool SaysProgramMissing(std::string_view line, std::string_view program) {
  if (line.find(program) == std::string_view::npos) return false;
  for (const std::string_view words : {"not found", "No such file or directory", "Permission denied", "Unknown command"}) {
    if (ContainsIgnoringCase(line, words)) return true;
  }
  return false;
}

std::string MaskSecret(std::string_view text, std::string_view secret) {
  std::string masked(text);
  if (secret.empty()) return masked;
  const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  std::size_t at = 0;
  while (at < masked.size()) {
    if (!isHex(masked[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < masked.size() && isHex(masked[end])) ++end;
    // A piece cut off by where the text begins or ends is still a piece,
    // and so is one with other hex digits beside it.
    const std::string_view run = std::string_view(masked).substr(at, end - at);
    constexpr std::size_t kPiece = 6;
    bool piece = run.size() >= 4 && run.size() < kPiece && secret.find(run) != std::string_view::npos;
    for (std::size_t from = 0; !piece && from + kPiece <= run.size(); ++from) {
      piece = secret.find(run.substr(from, kPiece)) != std::string_view::npos;
    }
    if (piece) {
      std::fill(masked.begin() + static_cast<std::ptrdiff_t>(at), masked.begin() + static_cast<std::ptrdiff_t>(end), '*');
    }
    at = end;
  }
  return masked;
}

}  // namespace dovrel
