#include "scripted_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>

namespace dovrel::test {

using Clock = std::chrono::steady_clock;

ScriptedHost::ScriptedHost(const std::string& address, std::uint16_t port)
    : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  const int on = 1;
  ::setsockopt(m_listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  if (::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(m_listener.Get(), 4) != 0) {
    throw std::runtime_error("scripted host cannot listen on " + address);
  }
  socklen_t length = sizeof local;
  ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&local), &length);
  m_port = ntohs(local.sin_port);
}

bool ScriptedHost::Accept(std::chrono::milliseconds limit) {
  pollfd fd{m_listener.Get(), POLLIN, 0};
  if (::poll(&fd, 1, static_cast<int>(limit.count())) != 1) return false;
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  m_client.Reset(::accept4(m_listener.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
  char text[INET_ADDRSTRLEN] = {};
  if (m_client && ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) != nullptr) m_peerAddress = text;
  return m_client.IsOpen();
}

bool ScriptedHost::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(m_client.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool ScriptedHost::ReadSome(std::chrono::milliseconds limit) {
  if (m_clientClosed || !m_client) return false;
  pollfd fd{m_client.Get(), POLLIN, 0};
  if (::poll(&fd, 1, static_cast<int>(limit.count())) != 1) return false;
  char buffer[4096];
  const ssize_t got = ::recv(m_client.Get(), buffer, sizeof buffer, 0);
  if (got <= 0) {
    m_clientClosed = true;
    return false;
  }
  m_received.append(buffer, static_cast<std::size_t>(got));
  return true;
}

bool ScriptedHost::ReadUntil(std::string_view pattern, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (m_received.find(pattern) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !ReadSome(left)) return m_received.find(pattern) != std::string::npos;
  }
  return true;
}

bool ScriptedHost::ReadAtLeast(std::size_t count, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (m_received.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !ReadSome(left)) return m_received.size() >= count;
  }
  return true;
}

bool ScriptedHost::ReadUntilClosed(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!m_clientClosed) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    ReadSome(left);
  }
  return true;
}

void ScriptedHost::ReadFor(std::chrono::milliseconds window) {
  const auto deadline = Clock::now() + window;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !ReadSome(left)) return;
  }
}

void ScriptedHost::ShutdownSending() { ::shutdown(m_client.Get(), SHUT_WR); }

void ScriptedHost::Reset() {
  const linger abortive{1, 0};
  ::setsockopt(m_client.Get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  m_client.Reset();
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

}  // namespace dovrel::test
