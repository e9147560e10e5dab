#pragma once

#include <optional>
#include <string>

#include "session/launch/answer_slot.h"
#include "session/launch/launch_end.h"
#include "ui/end_words/translation.h"

namespace dovrel {

// The boxes a launch's end may show.
enum class EndBox {
  kCannotConnect,   // "Cannot Connect"
  kLoginIncorrect,  // "Login incorrect"
  kLaunchFailed,    // why the terminal did not start, in DescribeLaunchProblem's words
};

// The box `end` shows, if any: none for a started terminal, the user's own
// end, or a host that stopped (standard error says where).
std::optional<EndBox> BoxOf(const SessionEnd& end);

// One paragraph for the user: the cause in plain words, the host's own line
// where there is one, and what to do about it, for an end whose box is
// kLaunchFailed. In English with Untranslated, in the form's language with
// its translator.
std::string DescribeLaunchProblem(const SessionEnd& end, const Translate& translate = Untranslated);

// The words of a question the launch asks, line by line as its asker put
// them, quoted.
std::string QuestionWords(const UserQuestion& question);

// The one English line standard error gets for the end, without the
// program's name before it; none for a started terminal or a form closed
// first. It comes after every line of the report.
std::optional<std::string> FailureLine(const SessionEnd& end);

}  // namespace dovrel
