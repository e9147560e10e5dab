#pragma once

#include <cstdint>

namespace dovrel {

// The host's telnet service.
inline constexpr std::uint16_t kTelnetPort = 23;

// An X server listens for display N on TCP port 6000 + N.
constexpr std::uint16_t X11TcpPort(int display) { return static_cast<std::uint16_t>(6000 + display); }

}  // namespace dovrel
