// The local X display as the session sees it: a TCP probe before the login,
// then a watch for the terminal's window (libxcb, a connection of its own,
// apart from the form's) and for its X connection in the socket table.

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include "base/ports.h"
#include "base/terminal_program.h"
#include "net/connector.h"
#include "net/local_socket.h"
#include "watch/local_display.h"
#include "net/transport.h"
#include "watch/x_connections.h"

namespace dovrel {

namespace {

std::string ReadFile(const char* path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<TcpConnection> ReadSocketTable() {
  std::vector<TcpConnection> table = ParseTcpTable(ReadFile("/proc/net/tcp"));
  const std::vector<TcpConnection> v6 = ParseTcpTable(ReadFile("/proc/net/tcp6"));
  table.insert(table.end(), v6.begin(), v6.end());
  return table;
}

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// Watches one display's windows through an X connection of its own.
class WindowWatch {
 public:
  explicit WindowWatch(xcb_connection_t* connection) : m_connection(connection) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem > 0; xcb_screen_next(&screen)) {
      SelectEvents(screen.data->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    }
    xcb_flush(m_connection);
  }
  ~WindowWatch() { xcb_disconnect(m_connection); }
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  // Handles the events that have arrived; true once a terminal window of
  // class XTerm or KTerm has been mapped.
  bool TerminalMapped() {
    while (!m_seen) {
      const XcbReply<xcb_generic_event_t> event(xcb_poll_for_event(m_connection), &std::free);
      if (!event) break;
      Handle(*event);
    }
    return m_seen;
  }

  [[nodiscard]] bool Broken() const { return xcb_connection_has_error(m_connection) != 0; }

 private:
  void Handle(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
      case XCB_CREATE_NOTIFY: {
        // A new top-level window: follow it wherever a window manager puts
        // it, and look at it now in case it was mapped before we listened.
        const auto& created = reinterpret_cast<const xcb_create_notify_event_t&>(event);
        SelectEvents(created.window, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        if (IsMapped(created.window) && IsTerminal(created.window)) m_seen = true;
        break;
      }
      case XCB_MAP_NOTIFY: {
        const auto& mapped = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        if (IsTerminal(mapped.window) || HasTerminalChild(mapped.window)) m_seen = true;
        break;
      }
      default:
        break;
    }
  }

  void SelectEvents(xcb_window_t window, std::uint32_t mask) {
    xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
  }

  bool IsMapped(xcb_window_t window) {
    const XcbReply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window),
                                        nullptr),
        &std::free);
    return reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
  }

  // WM_CLASS is "instance\0class\0".
  bool IsTerminal(xcb_window_t window) {
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_CLASS,
                                                XCB_ATOM_STRING, 0, 64),
                               nullptr),
        &std::free);
    if (!reply) return false;
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    const std::string_view value(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    const std::size_t split = value.find('\0');
    if (split == std::string_view::npos) return false;
    std::string_view windowClass = value.substr(split + 1);
    windowClass = windowClass.substr(0, windowClass.find('\0'));
    return TerminalProgram::IsTerminalClass(windowClass);
  }

  // A window manager's frame, mapped around the terminal's window.
  bool HasTerminalChild(xcb_window_t window) {
    const XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr), &std::free);
    if (!tree) return false;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
      if (IsTerminal(children[i])) return true;
    }
    return false;
  }

  xcb_connection_t* m_connection;
  bool m_seen = false;
};

std::unique_ptr<WindowWatch> OpenWindowWatch(const std::string& address, int display) {
  // The display's own local socket first; its TCP address second.
  for (const std::string& name : {":" + std::to_string(display), address + ":" + std::to_string(display)}) {
    xcb_connection_t* connection = xcb_connect(name.c_str(), nullptr);
    if (xcb_connection_has_error(connection) == 0) return std::make_unique<WindowWatch>(connection);
    xcb_disconnect(connection);
  }
  return nullptr;
}

class X11TerminalWatch final : public TerminalWatch {
 public:
  X11TerminalWatch(std::unique_ptr<WindowWatch> windows, in_addr_t address, int display, const Limits& limits)
      : m_windows(std::move(windows)),
        m_connections(address, X11TcpPort(display), ReadSocketTable(), limits.lastingConnection),
        m_tablePeriod(limits.socketTablePeriod) {}

  bool Seen(std::chrono::steady_clock::time_point now) override {
    if (m_windows && !m_windows->Broken() && m_windows->TerminalMapped()) return true;
    if (now - m_lastTableRead < m_tablePeriod) return false;
    m_lastTableRead = now;
    return m_connections.Update(ReadSocketTable(), now);
  }

  [[nodiscard]] bool SeesWindows() const override { return m_windows && !m_windows->Broken(); }

 private:
  std::unique_ptr<WindowWatch> m_windows;
  LastingConnection m_connections;
  std::chrono::milliseconds m_tablePeriod;
  std::chrono::steady_clock::time_point m_lastTableRead{};
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
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
      return Reach::kListening;
    }
    if (errno == ECONNREFUSED) return Reach::kRefused;
    if (errno != EINPROGRESS) return Reach::kUnknown;
    if (WaitForSocket(socket.Get(), POLLOUT, abort, limits.probeLimit) != IoStatus::kOk) return Reach::kUnknown;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Reach::kUnknown;
    if (error == 0) return Reach::kListening;
    return error == ECONNREFUSED ? Reach::kRefused : Reach::kUnknown;
  }

  bool HasLocalSocket(int display) override { return LocalSocketListens(X11LocalSocketPath(display)); }

  std::unique_ptr<TerminalWatch> Watch(const std::string& address, int display, const Limits& limits) override {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return nullptr;
    return std::make_unique<X11TerminalWatch>(OpenWindowWatch(address, display), parsed.s_addr, display,
                                              limits);
  }
};

}  // namespace

std::shared_ptr<LocalDisplay> MakeX11Display() { return std::make_shared<X11Display>(); }

}  // namespace dovrel
