#pragma once

#include <cstddef>
#include <string_view>

namespace dovrel {

// What dovrel and its askpass helper say to each other. ssh runs the helper
// with the prompt as its one argument and closes every descriptor above 2
// first, so the helper finds dovrel through a local socket that the
// environment names. The helper sends the hint ssh gave it
// (SSH_ASKPASS_PROMPT: empty, "confirm" or "none"), a line feed and the
// prompt, then shuts its side down; dovrel answers with one byte, then the
// answer's bytes: kAskpassAnswered and the answer, or kAskpassRefused alone.

inline constexpr std::string_view kAskpassSocketVariable = "DOVREL_ASKPASS_SOCKET";
inline constexpr char kAskpassAnswered = '+';
inline constexpr char kAskpassRefused = '-';
// The longest request taken: ssh's longest prompt (a host-key question with
// its notes) is well under 2 KiB.
inline constexpr std::size_t kAskpassRequestLimit = 8192;
// The longest answer: a password the form takes, and "yes" or "no".
inline constexpr std::size_t kAskpassAnswerLimit = 1024;
// How long the helper waits for dovrel's answer: the user may be reading a
// host key's fingerprint.
inline constexpr int kAskpassAnswerSeconds = 300;

}  // namespace dovrel
