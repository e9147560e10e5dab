#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace dovrel::telnet {

// Command bytes of the telnet protocol (RFC 854) that this client handles.
inline constexpr unsigned char kIac = 255;
inline constexpr unsigned char kDont = 254;
inline constexpr unsigned char kDo = 253;
inline constexpr unsigned char kWont = 252;
inline constexpr unsigned char kWill = 251;
inline constexpr unsigned char kSb = 250;
inline constexpr unsigned char kSe = 240;

// Option 0 (RFC 856).
inline constexpr unsigned char kTransmitBinary = 0;

// Appends `data` to `out` as telnet data: a byte 255 goes out doubled, since
// the host would otherwise read it as the start of a command.
void AppendEscaped(std::span<const unsigned char> data, std::vector<unsigned char>& out);

}  // namespace dovrel::telnet
