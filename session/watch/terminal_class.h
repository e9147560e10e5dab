#pragma once

#include <string_view>

namespace dovrel {

// The class a terminal's window carries: a window of either counts as the
// launched terminal.
inline constexpr std::string_view kXtermClass = "XTerm";
inline constexpr std::string_view kKtermClass = "KTerm";

constexpr bool IsTerminalClass(std::string_view windowClass) {
  return windowClass == kXtermClass || windowClass == kKtermClass;
}

}  // namespace dovrel
