#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <span>
#include <string>

#include "common/net/abort_signal.h"
#include "common/net/transport.h"
#include "common/net/unique_fd.h"

namespace dovrel {

// One question of ssh's, from the askpass helper, waiting for its answer.
struct AskpassRequest {
  UniqueFd connection;
  std::string hint;    // SSH_ASKPASS_PROMPT: empty, "confirm" or "none"
  std::string prompt;  // ssh's prompt, as it gave it
  bool fromClient = false;  // the helper is a child of the launch's own ssh (not of a hop's)
};

// Where the askpass helper finds this launch: a socket in a directory of
// this user's own (mode 0700), so no other account can connect, and every
// peer is checked again: this user, and a process that the launch's ssh
// started. Removed when this goes.
class AskpassServer {
 public:
  AskpassServer() = default;
  AskpassServer(AskpassServer&&) = delete;
  AskpassServer& operator=(AskpassServer&&) = delete;
  ~AskpassServer();

  // Makes the directory (in the directory of this user's sockets; where
  // that is missing or not this user's alone, a fresh one in /tmp that no
  // other account can have made first) and listens there. False, with
  // errno, when it cannot.
  bool Open();
  [[nodiscard]] const std::string& SocketPath() const { return m_path; }
  [[nodiscard]] int Listener() const { return m_listener.Get(); }

  // A pipe with a name in the same directory, for ssh's own log (-E): its
  // reading end (non-blocking), already open so that ssh's open never
  // waits; closed when it cannot be made.
  UniqueFd OpenLog();
  [[nodiscard]] const std::string& LogPath() const { return m_logPath; }

  // The client whose helpers may ask (its descendants).
  void Admit(pid_t client) { m_client = client; }

  // A waiting helper's request, read within `limit`; nothing when none
  // waits or the peer is not the launch's.
  std::optional<AskpassRequest> Accept(std::chrono::milliseconds limit, const AbortSignal& abort,
                                       WaitClock& clock = SystemClock());

  // Answers a request, with `answer`, or with no answer at all.
  static void Answer(AskpassRequest& request, std::span<const unsigned char> answer);
  static void Refuse(AskpassRequest& request);

 private:
  std::string m_directory;
  std::string m_path;
  std::string m_logPath;
  UniqueFd m_listener;
  pid_t m_client = -1;
};

// The parent of process `pid`, read from /proc; nothing when it is gone.
std::optional<pid_t> ParentOf(pid_t pid);

}  // namespace dovrel
