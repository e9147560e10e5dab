#pragma once

#include <chrono>
#include <string>

#include "session/launch/launch_cause.h"
#include "session/launch/launch_target.h"

namespace dovrel {

// Where the terminal was sent, as the words of a launch's end name it.
struct LaunchTarget : TerminalTarget {
  std::string address;  // this machine's address as the host sees it
  std::chrono::milliseconds watchLimit{};
  bool overSsh = false;  // the terminal came through ssh's own X forwarding
};

// How one launch ended: the one value the worker hands the front end, which
// puts it in words, the box in the form's language and the line on standard
// error in English. The worker writes no sentence of either.
struct SessionEnd : LaunchStop {
  LaunchTarget target;  // where the terminal was sent
  // The user ended it (closed the form, declined ssh's question) and has
  // seen it end: no box.
  bool byUser = false;
};

}  // namespace dovrel
