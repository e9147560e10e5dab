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
#include "session/watch/terminal_class.h"
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

// The display's local socket, when root's or this user's server answers.
WindowWatchThread::SocketOpener LocalOpener(int display) {
  return [path = X11LocalSocketPath(display)](const AbortSignal& /*stop*/) { return ConnectTrustedLocalSocket(path); };
}

// The display's TCP port at `address`, when the end that accepted this very
// connection is root's or this user's.
WindowWatchThread::SocketOpener TcpOpener(in_addr_t address, int display, std::chrono::milliseconds limit) {
  return [address, display, limit](const AbortSignal& stop) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(X11TcpPort(display));
    server.sin_addr.s_addr = address;
    UniqueFd socket = MakeStreamSocket();
    if (!socket || ConnectSocket(socket.Get(), server, stop, limit) != 0) return UniqueFd();
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return UniqueFd();
    const TcpConnection ours{local.sin_addr.s_addr, ntohs(local.sin_port), address, X11TcpPort(display)};
    const auto owner = AcceptingOwner(ReadSocketTableText(), ours);
    if (!owner || !IsTrustedOwner(*owner)) return UniqueFd();
    return socket;
  };
}

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
    in_addr_t parsed = 0;
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return nullptr;
    // The display's own local socket first; its TCP address second, and only
    // when root or this user listens there: each connection offers this
    // user's cookie.
    std::unique_ptr<WindowWatchThread> windows = TakePrepared(display);
    if (windows) {
      windows->Arm();
      windows->WaitForConnection(limits.xConnectLimit, abort);
    }
    if (!windows || windows->Failed()) {
      std::vector<WindowWatchThread::SocketOpener> openers{LocalOpener(display)};
      if (tcpTrusted) openers.emplace_back(TcpOpener(parsed, display, limits.xConnectLimit));
      windows = std::make_unique<WindowWatchThread>(display, std::move(openers));
      windows->WaitForConnection(limits.xConnectLimit, abort);
    }
    return std::make_unique<X11TerminalWatch>(std::move(windows), parsed, display, limits);
  }

  void Prepare(int display) override {
    // The local socket only: a connection made early never goes to TCP.
    m_prepared = std::make_unique<WindowWatchThread>(display, std::vector{LocalOpener(display)}, false);
    m_preparedDisplay = display;
  }

  std::unique_ptr<TerminalWatch> WatchWindows(int display, const Limits& limits, const AbortSignal& abort) override {
    auto windows = std::make_unique<WindowWatchThread>(display, std::vector{LocalOpener(display)});
    windows->WaitForConnection(limits.xConnectLimit, abort);
    return std::make_unique<WindowOnlyWatch>(std::move(windows));
  }

  // The watch prepared for `display`, if any.
  std::unique_ptr<WindowWatchThread> TakePrepared(int display) {
    auto prepared = std::move(m_prepared);
    if (m_preparedDisplay != display) return nullptr;
    return prepared;
  }

  bool LocalSocketTrusted(int display) override {
    const std::string path = X11LocalSocketPath(display);
    // libxcb (in the xauth ssh runs, and in Xlib clients) tries the abstract
    // name first, then the file; ssh itself connects to the file alone.
    return AbstractNameTrusted(path) && ConnectTrustedLocalSocket(path);
  }

  AbstractNameHold HoldAbstractName(int display) override {
    AbstractNameHold hold;
    hold.socket = BindAbstract(X11LocalSocketPath(display));
    hold.takenAlready = !hold.socket && errno == EADDRINUSE;
    return hold;
  }

 private:
  std::unique_ptr<WindowWatchThread> m_prepared;
  int m_preparedDisplay = -1;
};

}  // namespace

std::shared_ptr<LocalDisplay> MakeX11Display() { return std::make_shared<X11Display>(); }

}  // namespace dovrel
