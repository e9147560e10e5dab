#include "app/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

#include "common/net/unique_fd.h"

namespace dovrel {

namespace {

std::string Env(const char* name) {
  // Read at start-up, before any other thread exists.
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
  return value != nullptr ? value : "";
}

}  // namespace

DisplayEnvironment DisplayEnvironment::Read() {
  return {Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"), Env("XDG_RUNTIME_DIR")};
}

namespace {

class X11Probe final : public DisplayProbe {
 public:
  explicit X11Probe(const std::string& display) : m_connection(xcb_connect(display.c_str(), nullptr)) {}
  ~X11Probe() override { xcb_disconnect(m_connection); }
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;
  [[nodiscard]] bool IsConnected() const { return xcb_connection_has_error(m_connection) == 0; }

 private:
  xcb_connection_t* m_connection;
};

class WaylandProbe final : public DisplayProbe {
 public:
  explicit WaylandProbe(UniqueFd socket) : m_socket(std::move(socket)) {}

 private:
  UniqueFd m_socket;
};

// A platform that needs no display server (offscreen, vnc, ...).
class NoProbe final : public DisplayProbe {};

std::unique_ptr<DisplayProbe> ProbeX11(const std::string& display) {
  if (display.empty()) return nullptr;
  // A server that is resetting after its last client left refuses
  // connections for a moment: try a few times before giving up.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto probe = std::make_unique<X11Probe>(display);
    if (probe->IsConnected()) return probe;
  }
  return nullptr;
}

std::unique_ptr<DisplayProbe> ProbeWayland(const std::string& display, const std::string& runtimeDir) {
  if (display.empty()) return nullptr;
  std::string path = display;
  if (path.front() != '/') {
    if (runtimeDir.empty()) return nullptr;
    path = runtimeDir + '/' + display;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return nullptr;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket || ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return nullptr;
  }
  return std::make_unique<WaylandProbe>(std::move(socket));
}

}  // namespace

std::unique_ptr<DisplayProbe> ProbeDisplay(const DisplayEnvironment& environment, std::string& problem) {
  const std::string& platform = environment.platform;
  // A platform that needs no display server (offscreen, vnc, ...) is the
  // user's explicit choice.
  const std::string_view name = std::string_view(platform).substr(0, platform.find(':'));
  if (!name.empty() && name != "xcb" && name != "wayland" && name != "wayland-egl") {
    return std::make_unique<NoProbe>();
  }

  const std::string& x11 = environment.x11;
  const std::string& wayland = environment.wayland;
  if (name != "wayland" && name != "wayland-egl") {
    if (auto probe = ProbeX11(x11)) return probe;
  }
  if (name != "xcb") {
    if (auto probe = ProbeWayland(wayland, environment.runtimeDir)) return probe;
  }

  if (x11.empty() && wayland.empty()) {
    problem = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else {
    problem = "cannot open display";
    if (!x11.empty()) problem += " DISPLAY=" + x11;
    if (!wayland.empty()) problem += " WAYLAND_DISPLAY=" + wayland;
  }
  return nullptr;
}

}  // namespace dovrel
