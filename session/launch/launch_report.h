#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "common/base/outcome.h"
#include "common/base/translation.h"
#include "session/launch/launch_target.h"

namespace dovrel {

// Where the terminal was sent, as the words of a launch's end name it.
struct LaunchTarget : TerminalTarget {
  std::string address;  // this machine's address as the host sees it
  std::chrono::milliseconds watchLimit{};
  bool overSsh = false;  // the terminal came through ssh's own X forwarding
};

// One paragraph for the user: the cause in plain words, the host's own line
// where there is one, and what to do about it. `cause` is one whose box is
// kLaunchFailed (BoxOf): the display's, the relay's, the cookie's, the
// terminal's and, over ssh, the client's and the host key's.
// In English with Untranslated, in the form's language with its translator.
std::string DescribeLaunchProblem(LaunchCause cause, const LaunchTarget& target, const std::string& detail,
                                  const Translate& translate = Untranslated);

// The boxes a launch's end may show.
enum class SessionMessage {
  kCannotConnect,   // "Cannot Connect"
  kLoginIncorrect,  // "Login incorrect"
  kLaunchFailed,    // why the terminal did not start, in DescribeLaunchProblem's words
};

// How one launch ended: the one value the worker hands the form, which puts
// it in words (the box, in the form's language), as the reporter puts it on
// standard error (in English).
struct SessionEnd {
  LaunchCause cause = LaunchCause::kUndecided;
  LaunchTarget target;  // where the terminal was sent
  std::string detail;   // what the cause's words quote: the host's line, the relay's trouble
  // The user ended it (closed the form, declined ssh's question) and has
  // seen it end: no box.
  bool byUser = false;
};

// The box `end` shows, if any: none for a started terminal, the user's own
// end, or a host that stopped (standard error says where).
std::optional<SessionMessage> BoxOf(const SessionEnd& end);

// The box's text for kLaunchFailed.
inline std::string DescribeLaunchProblem(const SessionEnd& end, const Translate& translate = Untranslated) {
  return DescribeLaunchProblem(end.cause, end.target, end.detail, translate);
}

}  // namespace dovrel
