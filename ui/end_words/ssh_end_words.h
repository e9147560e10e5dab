#pragma once

#include <optional>
#include <string>

#include "session/launch/launch_end.h"
#include "ui/end_words/translation.h"

namespace dovrel {

// The words of an end over ssh, for the causes whose words differ there (or
// that only ssh has); nothing for the others.
std::optional<std::string> DescribeSshProblem(const SessionEnd& end, const Translate& translate);

}  // namespace dovrel
