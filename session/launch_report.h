#pragma once

#include <chrono>
#include <string>

#include "common/base/outcome.h"
#include "common/base/translation.h"

namespace dovrel {

// Where the terminal was sent.
struct LaunchTarget {
  std::string hostName;
  bool xterm = false;
  std::string address;  // this machine's address as the host sees it
  int display = 0;
  std::chrono::milliseconds watchLimit{};
  bool overSsh = false;  // the terminal came through ssh's own X forwarding
};

// One paragraph for the user: the cause in plain words, the host's own line
// where there is one, and what to do about it. `cause` is one of the launch's
// failures: kNoTcp, kNoXServer, kProgramMissing, kDisplayRefused,
// kDisplayFailed or kNoWindow.
// In English with Untranslated, in the form's language with its translator.
std::string DescribeLaunchProblem(LaunchCause cause, const LaunchTarget& target, const std::string& hostLine,
                                  const Translate& translate = Untranslated);

}  // namespace dovrel
