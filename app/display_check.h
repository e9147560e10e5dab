#pragma once

#include <memory>
#include <string>

namespace dovrel {

// A connection to the display, held while the toolkit opens its own: an X
// server with no other client resets when its last client leaves, and would
// refuse the toolkit's connection during the reset.
class DisplayProbe {
 public:
  virtual ~DisplayProbe() = default;
};

// The environment that names the user's display, read once at start-up.
struct DisplayEnvironment {
  std::string platform;    // QT_QPA_PLATFORM
  std::string x11;         // DISPLAY
  std::string wayland;     // WAYLAND_DISPLAY
  std::string runtimeDir;  // XDG_RUNTIME_DIR, where a relative WAYLAND_DISPLAY lives

  static DisplayEnvironment Read();
};

// Whether the user-interface toolkit will find a display. Qt aborts the
// process when it cannot open one, so this is asked before it starts. Returns
// the probe to keep until the toolkit has started, or nothing, with a
// one-line reason in `problem`.
std::unique_ptr<DisplayProbe> ProbeDisplay(const DisplayEnvironment& environment, std::string& problem);

}  // namespace dovrel
