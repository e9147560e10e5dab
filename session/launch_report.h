#pragma once

#include <chrono>
#include <string>

namespace dovrel {

// Why the terminal did not start.
enum class LaunchProblem {
  kNoTcp,           // the X server takes no TCP connections (found before the login)
  kProgramMissing,  // the host has no such terminal program
  kDisplayRefused,  // the X server turned the terminal away
  kDisplayFailed,   // the terminal could not open the display, for another reason
  kNoWindow,        // no window and no word from the host within the watch
};

// Where the terminal was sent.
struct LaunchTarget {
  std::string hostName;
  bool xterm = false;
  std::string address;  // this machine's address as the host sees it
  int display = 0;
  std::chrono::milliseconds watchLimit{10000};
};

// One paragraph for the user: the cause in plain words, the host's own line
// where there is one, and what to do about it.
std::string DescribeLaunchProblem(LaunchProblem problem, const LaunchTarget& target,
                                  const std::string& hostLine);

// Host text made printable on one line: control bytes as \r, \n, \xNN.
std::string EscapeHostText(const std::string& text);

}  // namespace dovrel
