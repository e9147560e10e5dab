#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dovrel {

// The host's telnet service.
inline constexpr std::uint16_t kTelnetPort = 23;

// A display this program serves is one digit, 0 to 9: the number in `text`
// when it is one.
constexpr std::optional<int> DisplayDigit(std::string_view text) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9') return std::nullopt;
  return text[0] - '0';
}

// Display N of this machine as X clients name it: ":N". Appended, as GCC 12
// at -O3 warns falsely (-Wrestrict) on a literal plus a temporary here.
inline std::string LocalDisplayName(int display) { return std::string(":").append(std::to_string(display)); }

// An X server listens for display N on TCP port 6000 + N.
constexpr std::uint16_t X11TcpPort(int display) { return static_cast<std::uint16_t>(6000 + display); }

// ... and on this machine at a local socket of this name: a file, and on
// Linux also the abstract socket of the same name.
inline std::string X11LocalSocketPath(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }

}  // namespace dovrel
