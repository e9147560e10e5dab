#pragma once

#include <cstdint>
#include <string>

namespace dovrel {

// The host's telnet service.
inline constexpr std::uint16_t kTelnetPort = 23;

// An X server listens for display N on TCP port 6000 + N.
constexpr std::uint16_t X11TcpPort(int display) { return static_cast<std::uint16_t>(6000 + display); }

// ... and on this machine at a local socket of this name: a file, and on
// Linux also the abstract socket of the same name.
inline std::string X11LocalSocketPath(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }

}  // namespace dovrel
