#include "display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "unique_fd.h"

namespace dovrel {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool X11Reachable(const std::string& display) {
  if (display.empty()) return false;
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return ok;
}

bool WaylandReachable(const std::string& display) {
  if (display.empty()) return false;
  std::string path = display;
  if (path.front() != '/') {
    const std::string runtimeDir = Env("XDG_RUNTIME_DIR");
    if (runtimeDir.empty()) return false;
    path = runtimeDir + '/' + display;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return probe && ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

bool DisplayIsReachable(std::string& problem) {
  const std::string platform = Env("QT_QPA_PLATFORM");
  // A platform that needs no display server (offscreen, vnc, ...) is the
  // user's explicit choice.
  const std::string_view name = std::string_view(platform).substr(0, platform.find(':'));
  if (!name.empty() && name != "xcb" && name != "wayland" && name != "wayland-egl") return true;

  const std::string x11 = Env("DISPLAY");
  const std::string wayland = Env("WAYLAND_DISPLAY");
  if (name != "wayland" && name != "wayland-egl" && X11Reachable(x11)) return true;
  if (name != "xcb" && WaylandReachable(wayland)) return true;

  if (x11.empty() && wayland.empty()) {
    problem = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else {
    problem = "cannot open display";
    if (!x11.empty()) problem += " DISPLAY=" + x11;
    if (!wayland.empty()) problem += " WAYLAND_DISPLAY=" + wayland;
  }
  return false;
}

}  // namespace dovrel
