#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "session/host_text/host_words.h"

namespace dovrel {

// The facts about the host's text that more than one step needs, each decided
// in one place.

// What a login program asks with, and how it refuses.
inline constexpr std::string_view kLoginPromptText = "login:";
inline constexpr std::string_view kLoginIncorrectText = "Login incorrect";
// The longest line of the host's text a reader keeps: enough for any prompt
// or message it looks for, bounded whatever the host sends.
inline constexpr std::size_t kHostLineLength = 256;

// A blank within a line: a space or a tab.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A login program's prompt standing as the line's visible text: "login: " or
// "host login: " (blanks around it allowed, one word at most before it).
bool IsLoginPrompt(std::string_view line);

// Whether `word` occurs in `text`, ASCII letters in either case.
bool ContainsIgnoringCase(std::string_view text, std::string_view word);

// A login program's refusal, in any case: "Login incorrect".
bool SaysLoginIncorrect(std::string_view line);

// Quotes the host's text for a message: control characters dropped (C0, C1,
// the bidirectional controls, the line and paragraph separators, bytes that
// are no character of the locale's encoding), blanks at either end trimmed,
// at most 200 bytes (never a cut character). HostWords are quoted line by
// line, the lines that keep something joined by the separator.
std::string QuoteHostText(std::string_view text);

// `text` with `secret` (hex digits) shown as asterisks: every run of hex
// digits that holds six of its digits in a row, or is a piece of four or
// five of them.
std::string MaskSecret(std::string_view text, std::string_view secret);

// Whether a line of the shell says that `program` cannot be run: not found,
// or not executable.
bool SaysProgramMissing(std::string_view line, std::string_view program);

// The last line of `text` that has something in it, quoted as above.
std::string LastLine(std::string_view text);

// Host text made printable on one line: \r, \n, and each byte of any other
// control character (as above) as \xNN.
std::string EscapeHostText(std::string_view text);

}  // namespace dovrel
