#include "app/default_display.h"

#include <algorithm>

#include "common/base/ports.h"
#include "session/watch/local_display.h"

namespace dovrel {

std::optional<int> LocalDisplayNumber(std::string_view display) {
  // Only this machine's own ways to it: an empty host, or "unix".
  if (display.starts_with("unix:")) display.remove_prefix(4);
  if (!display.starts_with(':')) return std::nullopt;
  display.remove_prefix(1);
  const std::size_t dot = display.find('.');
  const auto number = DisplayDigit(display.substr(0, dot));
  if (!number) return std::nullopt;
  if (dot != std::string_view::npos) {
    const std::string_view screen = display.substr(dot + 1);
    if (screen.empty() || !std::all_of(screen.begin(), screen.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
  }
  return number;
}

DisplayChoice ChooseDefaultDisplay(const char* displayVariable, bool wayland, const std::vector<int>& xSockets) {
  if (displayVariable != nullptr && *displayVariable != '\0') {
    if (const auto number = LocalDisplayNumber(displayVariable)) return {*number, "from $DISPLAY"};
    return {0, "by default: $DISPLAY (" + std::string(displayVariable) + ") is not a display 0-9 of this machine"};
  }
  if (wayland && xSockets.size() == 1) return {xSockets.front(), "from the only X socket here (Xwayland)"};
  return {0, "by default"};
}

std::vector<int> LocalXSocketNumbers(LocalDisplay& local) {
  std::vector<int> numbers;
  for (int n = 0; n <= 9; ++n) {
    if (local.HasLocalSocket(n)) numbers.push_back(n);
  }
  return numbers;
}

}  // namespace dovrel
