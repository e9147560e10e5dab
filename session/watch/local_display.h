#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/base/limits.h"
#include "common/net/abort_signal.h"
#include "common/net/unique_fd.h"

namespace dovrel {

// Watches for the remote terminal arriving on this machine's display.
class TerminalWatch {
 public:
  virtual ~TerminalWatch() = default;

  // Looks, without blocking, whether the terminal has started: its window
  // was mapped, or its X connection from the host has lasted. `now` is the
  // session's clock.
  virtual bool Seen(std::chrono::steady_clock::time_point now) = 0;
  // False when only the connection can be seen, not the window: the display
  // could not be opened from here.
  [[nodiscard]] virtual bool SeesWindows() const = 0;
};

// The X display the command line names, as seen from this machine.
class LocalDisplay {
 public:
  virtual ~LocalDisplay() = default;

  enum class Reach {
    kListening,  // a TCP connection to it was accepted
    kRefused,    // nothing listens there: no terminal can reach it
    kUnknown,    // no answer in time, or another failure
  };

  // Tries a TCP connection to `address`, port 6000 + `display`, for at most
  // the probe limit.
  virtual Reach CheckTcp(const std::string& address, int display, const AbortSignal& abort,
                         const Limits& limits) = 0;

  // Whether what listens at `address`, port 6000 + `display`, answers a
  // connection setup with no authorisation as an X server does (Success,
  // Failed or Authenticate) within the probe limit.
  virtual bool AnswersAsXServer(const std::string& address, int display, const AbortSignal& abort,
                                const Limits& limits) = 0;

  // The user id of whoever listens at `address`, port 6000 + `display`
  // (read from the system's socket table, with no connection made);
  // nothing when it cannot be told.
  virtual std::optional<std::uint32_t> TcpListenerOwner(const std::string& address, int display) = 0;

  // Whether the display has a local socket here (a file or the abstract
  // socket of the same name): an X server runs on it.
  virtual bool HasLocalSocket(int display) = 0;

  // Opens the window watch's own X connection to display `display` ahead
  // of time (while the host logs in), for the next Watch of that display.
  virtual void Prepare(int /*display*/) {}

  // Starts watching display `display` for a terminal that reaches it at
  // `address`; called just before the command line is typed. Waits for its
  // own X connection at most the X connection limit, or until aborted.
  // `tcpTrusted`: the display's TCP listener is root's or this user's, so
  // the watch may also connect there with this user's cookie.
  virtual std::unique_ptr<TerminalWatch> Watch(const std::string& address, int display, bool tcpTrusted,
                                               const Limits& limits, const AbortSignal& abort) = 0;

  // Watches display `display` for the terminal's window alone, through its
  // local socket: the terminal comes through ssh's own connection.
  virtual std::unique_ptr<TerminalWatch> WatchWindows(int display, const Limits& limits,
                                                      const AbortSignal& abort) = 0;

  // Whether what answers on the display's local socket (the abstract name
  // first, as clients try it, then the file) is root's or this user's
  // server; false when nobody trusted answers.
  virtual bool LocalSocketTrusted(int display) = 0;

  // The display's abstract socket name, held for the launch: a name nobody
  // holds is bound here (not listening: it refuses), so that no other
  // account can take it before a client that tries it first (libxcb, in the
  // xauth that ssh runs) has gone on to the checked socket file.
  struct AbstractNameHold {
    UniqueFd socket;         // the name, bound by this launch while it lives
    bool takenAlready = false;  // someone holds it (the X server, say): check that holder instead
  };
  // Neither held nor taken: the name could not be bound (errno says why).
  virtual AbstractNameHold HoldAbstractName(int /*display*/) { return {{}, true}; }
};

// The real display: a TCP probe, the X server's own events (libxcb) and the
// system's socket table.
std::shared_ptr<LocalDisplay> MakeX11Display();

}  // namespace dovrel
