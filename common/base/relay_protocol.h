#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dovrel {

// What dovrel and its relay program say to each other. The relay gets its
// listening socket and the read end of dovrel's control pipe on these
// descriptors; unless it admits by address alone (--trust-host), the first
// bytes on the pipe are this launch's cookie.
inline constexpr int kRelayListenerFd = 3;
inline constexpr int kRelayControlFd = 4;

// The relay program's command line: --peer ADDRESS --display N, and the
// switches, each optional.
inline constexpr std::string_view kRelayPeerArgument = "--peer";
inline constexpr std::string_view kRelayDisplayArgument = "--display";
inline constexpr std::string_view kRelayVerboseSwitch = "--verbose";
inline constexpr std::string_view kRelayTrustHostSwitch = "--trust-host";  // admit by the host's address alone
inline constexpr std::string_view kRelayUntrustedSwitch = "--untrusted";   // pass on an untrusted authorisation

// The relay's exit status when the X server gave no untrusted authorisation
// (--untrusted): it lacks the SECURITY extension, or refused.
inline constexpr int kRelayExitNoUntrusted = 3;

// The authorisation the relay admits, and the size of this launch's cookie.
inline constexpr std::string_view kMitCookieName = "MIT-MAGIC-COOKIE-1";
inline constexpr std::size_t kLaunchCookieSize = 16;
using CookieBytes = std::array<std::uint8_t, kLaunchCookieSize>;

// The join socket's file, in the user's own socket directory, for the relay
// serving `served` ("address:port").
inline std::string RelayJoinName(std::string_view served) { return "relay-" + std::string(served); }

// A later launch asks to have its host let in: "peer <address> <cookie in
// hex>\n", or without the cookie when that launch admits by address alone.
// The relay answers once the host is let in, saying how it admits: by each
// launch's cookie, or (some launch of it being --trust-host) by address.
// A request it does not take gets no answer: the connection closes.
inline constexpr std::string_view kRelayJoinAckCookie = "ok cookie\n";
inline constexpr std::string_view kRelayJoinAckAddress = "ok address\n";
inline constexpr std::size_t kRelayJoinLineLimit = 128;

// Appends `bytes` in lower-case hex to `out`, with no copy on the way.
inline void AppendHex(const CookieBytes& bytes, std::string& out) {
  constexpr char kDigits[] = "0123456789abcdef";
  for (const std::uint8_t byte : bytes) {
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
  }
}

// Reads 32 lower-case hex digits into `cookie`; false when they are not.
inline bool CookieFromHex(std::string_view hex, CookieBytes& cookie) {
  if (hex.size() != 2 * kLaunchCookieSize) return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < cookie.size(); ++i) {
    const int high = digit(hex[2 * i]);
    const int low = digit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    cookie[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

// Appends the request's line to `line`, which has room for
// kRelayJoinLineLimit bytes: built in place, the cookie's hex is in it alone.
inline void AppendJoinLine(std::string_view peer, const CookieBytes* cookie, std::string& line) {
  line.append("peer ").append(peer);
  if (cookie) {
    line.push_back(' ');
    AppendHex(*cookie, line);
  }
  line.push_back('\n');
}

// Reads a request from `line` (its line end taken off): the peer's address
// into `peer` and its cookie, when it names one, into `cookie`, which the
// caller wipes. Nothing when it is not a request; otherwise whether it
// named a cookie.
inline std::optional<bool> ParseJoinLine(std::string_view line, std::string& peer, CookieBytes& cookie) {
  constexpr std::string_view kPeer = "peer ";
  if (!line.starts_with(kPeer)) return std::nullopt;
  line.remove_prefix(kPeer.size());
  const std::size_t blank = line.find(' ');
  peer.assign(line.substr(0, blank));
  if (peer.empty()) return std::nullopt;
  if (blank == std::string_view::npos) return false;
  if (!CookieFromHex(line.substr(blank + 1), cookie)) return std::nullopt;
  return true;
}

}  // namespace dovrel
