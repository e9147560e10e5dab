#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dovrel {

// The display number $DISPLAY names when it is a display of this machine
// with a number from 0 to 9: ":N", ":N.S", "unix:N" or "unix:N.S". Nothing
// for another machine's display ("localhost:10" from ssh -X, "host:1",
// "[::1]:0"), a number past 9, or anything else.
std::optional<int> LocalDisplayNumber(std::string_view display);

// The display the terminal goes to when the command line names none: the one
// the user is sitting at, as every X client finds it.
struct DisplayChoice {
  int number = 0;
  std::string source;  // for -v: where the number came from
};

// `displayVariable`: $DISPLAY (null: unset). `wayland`: $WAYLAND_DISPLAY is
// set. `xSockets`: the display numbers with a local X socket here.
DisplayChoice ChooseDefaultDisplay(const char* displayVariable, bool wayland, const std::vector<int>& xSockets);

class LocalDisplay;
// The numbers 0 to 9 whose display has a local socket here.
std::vector<int> LocalXSocketNumbers(LocalDisplay& local);

}  // namespace dovrel
