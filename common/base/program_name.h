#pragma once

#include <string_view>

namespace dovrel {

// Every line the program and its relay write on standard error begins with
// the program's name.
inline constexpr std::string_view kReportPrefix = "dovrel: ";

}  // namespace dovrel
