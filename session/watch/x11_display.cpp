// The local X display as the session sees it: a TCP probe before the login,
// then a watch for the terminal's window (on a thread of its own) and for
// its X connection in the socket table.

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include "common/base/ports.h"
#include "common/base/terminal_program.h"
#include "common/net/connector.h"
#include "common/net/local_socket.h"
#include "session/watch/local_display.h"
#include "session/watch/window_watch.h"
#include "common/net/transport.h"
#include "session/watch/x_connections.h"

namespace dovrel {

namespace {

std::string ReadFile(const char* path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string ReadSocketTableText() { return ReadFile("/proc/net/tcp") + "\n" + ReadFile("/proc/net/tcp6"); }

std::vector<TcpConnection> ReadSocketTable() { return ParseTcpTable(ReadSocketTableText()); }

class X11TerminalWatch final : public TerminalWatch {
 public:
  X11TerminalWatch(std::unique_ptr<WindowWatchThread> windows, in_addr_t address, int display, const Limits& limits)
      : m_windows(std::move(windows)),
        m_connections(address, X11TcpPort(display), ReadSocketTable(), limits.lastingConnection),
        m_tablePeriod(limits.socketTablePeriod) {}

  bool Seen(std::chrono::steady_clock::time_point now) override {
    if (m_windows->Seen()) return true;
    if (now - m_lastTableRead < m_tablePeriod) return false;
    m_lastTableRead = now;
    return m_connections.Update(ReadSocketTable(), now);
  }

  // While its X connection is still being made, the window is taken to be
  // watchable: a display that answers late still shows the window.
  [[nodiscard]] bool SeesWindows() const override { return !m_windows->Failed(); }

 private:
  std::unique_ptr<WindowWatchThread> m_windows;
  LastingConnection m_connections;
  std::chrono::milliseconds m_tablePeriod;
  std::chrono::steady_clock::time_point m_lastTableRead{};
};

// Over ssh the terminal's connection is ssh's own, made to the local
// socket: only its window can be watched.
class WindowOnlyWatch final : public TerminalWatch {
 public:
  explicit WindowOnlyWatch(std::unique_ptr<WindowWatchThread> windows) : m_windows(std::move(windows)) {}
  bool Seen(std::chrono::steady_clock::time_point /*now*/) override { return m_windows->Seen(); }
  [[nodiscard]] bool SeesWindows() const override { return !m_windows->Failed(); }

 private:
  std::unique_ptr<WindowWatchThread> m_windows;
};

class X11Display final : public LocalDisplay {
 public:
  Reach CheckTcp(const std::string& address, int display, const AbortSignal& abort,
                 const Limits& limits) override {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(X11TcpPort(display));
    if (::inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return Reach::kUnknown;
    const UniqueFd socket = MakeStreamSocket();
    if (!socket) return Reach::kUnknown;
    const int error = ConnectSocket(socket.Get(), server, abort, limits.probeLimit);
    if (error == 0) return Reach::kListening;
    return error == ECONNREFUSED ? Reach::kRefused : Reach::kUnknown;
  }

  bool AnswersAsXServer(const std::string& address, int display, const AbortSignal& abort,
                        const Limits& limits) override {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(X11TcpPort(display));
    if (::inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) return false;
    const UniqueFd socket = MakeStreamSocket();
    if (!socket || ConnectSocket(socket.Get(), server, abort, limits.probeLimit) != 0) return false;
    // Little-endian, protocol 11.0, no authorisation.
    constexpr unsigned char kSetup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (!SendAll(socket.Get(), kSetup, abort, limits.probeLimit)) return false;
    if (WaitForSocket(socket.Get(), POLLIN, abort, limits.probeLimit) != IoStatus::kOk) return false;
    unsigned char status = 0xFF;
    return ::recv(socket.Get(), &status, 1, 0) == 1 && status <= 2;
  }

  std::optional<std::uint32_t> TcpListenerOwner(const std::string& address, int display) override {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return std::nullopt;
    return ListenerOwner(ReadSocketTableText(), parsed.s_addr, X11TcpPort(display));
  }

  bool HasLocalSocket(int display) override { return LocalSocketListens(X11LocalSocketPath(display)); }

  std::unique_ptr<TerminalWatch> Watch(const std::string& address, int display, bool tcpTrusted,
                                       const Limits& limits, const AbortSignal& abort) override {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return nullptr;
    // The display's own local socket first; its TCP address second, and only
    // when root or this user listens there: each connection offers this
    // user's cookie.
    std::vector<std::string> names;
    // libxcb tries the display's abstract socket first: not when anyone but
    // root or this user holds that name.
    if (AbstractNameTrusted(X11LocalSocketPath(display))) names.push_back(LocalDisplayName(display));
    if (tcpTrusted) names.push_back(address + ":" + std::to_string(display));
    auto windows = std::make_unique<WindowWatchThread>(std::move(names));
    windows->WaitForConnection(limits.xConnectLimit, abort);
    return std::make_unique<X11TerminalWatch>(std::move(windows), parsed.s_addr, display, limits);
  }

  std::unique_ptr<TerminalWatch> WatchWindows(int display, const Limits& limits, const AbortSignal& abort) override {
    std::vector<std::string> names;
    if (AbstractNameTrusted(X11LocalSocketPath(display))) names.push_back(LocalDisplayName(display));
    auto windows = std::make_unique<WindowWatchThread>(std::move(names));
    windows->WaitForConnection(limits.xConnectLimit, abort);
    return std::make_unique<WindowOnlyWatch>(std::move(windows));
  }

  bool LocalSocketTrusted(int display) override {
    const std::string path = X11LocalSocketPath(display);
    // ssh tries the abstract name first, as libxcb does, then the file.
    return AbstractNameTrusted(path) && ConnectTrustedLocalSocket(path);
  }
};

}  // namespace

std::shared_ptr<LocalDisplay> MakeX11Display() { return std::make_shared<X11Display>(); }

}  // namespace dovrel
