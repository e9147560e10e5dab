#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/net/abort_signal.h"
#include "common/net/unique_fd.h"

namespace dovrel {

struct WindowWatchState;

// Watches one display for the terminal's window through an X connection of
// its own (libxcb, apart from the form's), on a thread of its own: the
// connection's set-up and every round trip to the X server may block, and a
// display that stalls must not hold the session up. The thread is stopped
// when the watch ends; one stuck in a stalled server is left to end alone.
class WindowWatchThread {
 public:
  // Connects to the X server and checks whose it is, on the watch's
  // thread; closed when no trusted server answers. Stopped by `stop`.
  using SocketOpener = std::function<UniqueFd(const AbortSignal& stop)>;

  // Tries the openers in turn (the local socket, then TCP) and opens
  // display `display` on the first socket that answers: the very socket
  // whose owner was checked. Unless `armed`, windows are not looked for
  // until Arm(): the connection is made ahead of time.
  WindowWatchThread(int display, std::vector<SocketOpener> openers, bool armed = true);
  ~WindowWatchThread();
  WindowWatchThread(const WindowWatchThread&) = delete;
  WindowWatchThread& operator=(const WindowWatchThread&) = delete;

  // From now on a terminal window mapped counts.
  void Arm();
  // Waits at most `limit` for the X connection to be made or to fail.
  void WaitForConnection(std::chrono::milliseconds limit, const AbortSignal& abort) const;
  // A window of class XTerm or KTerm has been mapped.
  [[nodiscard]] bool Seen() const;
  // No X connection could be made, or it broke.
  [[nodiscard]] bool Failed() const;

 private:
  std::shared_ptr<WindowWatchState> m_state;
  std::thread m_thread;
};

}  // namespace dovrel
