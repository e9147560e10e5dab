#include "session/watch/window_watch.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string_view>

#include "session/watch/terminal_class.h"
#include "common/net/abort_signal.h"
#include "common/net/unique_fd.h"
#include "common/net/x_connection.h"

namespace dovrel {

// Shared by the watch and its thread, which may outlive it.
struct WindowWatchState {
  enum Connection { kPending, kOpen, kFailed };
  std::atomic<int> connection{kPending};
  std::atomic<bool> seen{false};
  std::atomic<bool> armed{true};  // false: windows mapped now do not count yet
  AbortSignal stop;  // the watch is done with it: the thread ends
  // The X connection's descriptor while it is open, so that stopping can
  // shut it down under a thread blocked in a round trip.
  std::mutex mutex;
  int fd = -1;
  std::promise<void> finished;
};

namespace {

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// Watches one display's windows through an X connection of its own.
class WindowWatch {
 public:
  WindowWatch(XcbConnection connection, const std::atomic<bool>& armed)
      : m_owned(std::move(connection)), m_connection(m_owned.get()), m_armed(armed) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem > 0; xcb_screen_next(&screen)) {
      SelectEvents(screen.data->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    }
    xcb_flush(m_connection);
  }
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
        if (m_armed && IsMapped(created.window) && IsTerminal(created.window)) m_seen = true;
        break;
      }
      case XCB_MAP_NOTIFY: {
        const auto& mapped = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        if (m_armed && (IsTerminal(mapped.window) || HasTerminalChild(mapped.window))) m_seen = true;
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
    return IsTerminalClass(windowClass);
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

  XcbConnection m_owned;
  xcb_connection_t* m_connection;
  const std::atomic<bool>& m_armed;
  bool m_seen = false;
};

void RunWatch(const std::shared_ptr<WindowWatchState>& state, int display,
              const std::vector<WindowWatchThread::SocketOpener>& openers) {
  XcbConnection connection;
  for (const auto& open : openers) {
    if (state->stop.IsTriggered()) break;
    UniqueFd socket = open(state->stop);
    if (!socket) continue;
    connection = ConnectXOnSocket(std::move(socket), display);
    if (xcb_connection_has_error(connection.get()) == 0) break;
    connection.reset();
  }
  if (!connection) {
    state->connection = WindowWatchState::kFailed;
    return;
  }
  {
    const std::lock_guard lock(state->mutex);
    if (state->stop.IsTriggered()) return;
    state->fd = xcb_get_file_descriptor(connection.get());
  }
  {
    WindowWatch watch(std::move(connection), state->armed);
    state->connection = WindowWatchState::kOpen;
    while (!state->stop.IsTriggered() && !watch.Broken()) {
      if (watch.TerminalMapped()) {
        state->seen = true;
        break;
      }
      pollfd fds[2] = {{state->fd, POLLIN, 0}, {state->stop.PollFd(), POLLIN, 0}};
      ::poll(fds, 2, -1);
    }
    if (watch.Broken() && !state->seen) state->connection = WindowWatchState::kFailed;
    const std::lock_guard lock(state->mutex);
    state->fd = -1;
  }  // the watch disconnects here, after the descriptor is no longer shared
}

}  // namespace

WindowWatchThread::WindowWatchThread(int display, std::vector<SocketOpener> openers, bool armed)
    : m_state(std::make_shared<WindowWatchState>()) {
  m_state->armed = armed;
  m_thread = std::thread([state = m_state, display, openers = std::move(openers)] {
    RunWatch(state, display, openers);
    state->finished.set_value();
  });
}

WindowWatchThread::~WindowWatchThread() {
  m_state->stop.Trigger();
  {
    const std::lock_guard lock(m_state->mutex);
    if (m_state->fd >= 0) ::shutdown(m_state->fd, SHUT_RDWR);
  }
  // A thread still making its connection to a stalled server cannot be
  // woken: it ends on its own once the server answers or goes away.
  if (m_state->finished.get_future().wait_for(std::chrono::milliseconds(100)) == std::future_status::ready) {
    m_thread.join();
  } else {
    m_thread.detach();
  }
}

void WindowWatchThread::WaitForConnection(std::chrono::milliseconds limit, const AbortSignal& abort) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (m_state->connection == WindowWatchState::kPending && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{abort.PollFd(), POLLIN, 0};
    if (::poll(&fd, 1, 5) != 0) return;
  }
}

void WindowWatchThread::Arm() { m_state->armed = true; }

bool WindowWatchThread::Seen() const { return m_state->seen; }

bool WindowWatchThread::Failed() const { return m_state->connection == WindowWatchState::kFailed; }

}  // namespace dovrel
