#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/net/unique_fd.h"

namespace dovrel::test {

using namespace std::chrono_literals;

// Plays the remote host on loopback: listens, accepts one client, and lets a
// test send bytes and read what the client sent, with time limits so that a
// failing test ends instead of hanging.
class ScriptedHost {
 public:
  // Listens on `address` (a loopback address) and `port`; port 0 picks one.
  explicit ScriptedHost(const std::string& address = "127.0.0.1", std::uint16_t port = 0);

  [[nodiscard]] std::uint16_t Port() const { return m_port; }

  bool Accept(std::chrono::milliseconds limit = 5s);
  bool Send(std::string_view bytes);
  // Reads until `pattern` occurs in all that the client has sent.
  bool ReadUntil(std::string_view pattern, std::chrono::milliseconds limit = 5s);
  // Reads until at least `count` bytes have come in all.
  bool ReadAtLeast(std::size_t count, std::chrono::milliseconds limit = 5s);
  // Reads until the client closes; false if it does not within `limit`.
  bool ReadUntilClosed(std::chrono::milliseconds limit = 5s);
  // Reads whatever arrives within `window`.
  void ReadFor(std::chrono::milliseconds window);

  void ShutdownSending();
  // Closes with a reset (RST) instead of an orderly close.
  void Reset();
  // For a second thread that only sends while this one reads.
  [[nodiscard]] int ClientFd() const { return m_client.Get(); }
  void Close() { m_client.Reset(); }

  [[nodiscard]] const std::string& Received() const { return m_received; }
  // The client's address as this host sees it.
  [[nodiscard]] const std::string& PeerAddress() const { return m_peerAddress; }

 private:
  // One read, waiting at most `limit`; false on time-out or close.
  bool ReadSome(std::chrono::milliseconds limit);

  UniqueFd m_listener;
  UniqueFd m_client;
  std::uint16_t m_port = 0;
  std::string m_received;
  std::string m_peerAddress;
  bool m_clientClosed = false;
};

// Bytes from a list of values, for telnet commands in tests.
std::string Bytes(std::initializer_list<int> values);

}  // namespace dovrel::test
