#pragma once

#include <optional>
#include <string>

#include "common/base/outcome.h"
#include "common/base/translation.h"
#include "session/launch/launch_report.h"

namespace dovrel {

// The same over ssh, for the causes whose words differ there (or that only
// ssh has); nothing for the others.
std::optional<std::string> DescribeSshProblem(LaunchCause cause, const LaunchTarget& target,
                                              const std::string& detail, const Translate& translate = Untranslated);

}  // namespace dovrel
