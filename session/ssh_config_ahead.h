#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/net/abort_signal.h"
#include "session/launch/session_request.h"

namespace dovrel {

// Over ssh, what can be known before the user presses Enter: ssh's
// effective configuration for `hostName` (with `userName`, when one is
// given), read as the launch would read it. Nothing when ssh cannot read
// it (a failing `ssh -G` leaves the form's user name empty).
std::shared_ptr<const SshConfigAhead> ReadSshConfigAhead(const SessionSetup& setup, const std::string& hostName,
                                                         int display, const std::string& userName,
                                                         const AbortSignal& abort);

// The same on a thread of its own, while the form is up: `done` is called
// on that thread with what was read, unless nothing was. Going, it stops
// the reading and waits for its thread.
class SshConfigAheadReader {
 public:
  using Done = std::function<void(std::shared_ptr<const SshConfigAhead>)>;
  SshConfigAheadReader(SessionSetup setup, std::string hostName, int display, std::string userName, Done done);
  ~SshConfigAheadReader();
  SshConfigAheadReader(const SshConfigAheadReader&) = delete;
  SshConfigAheadReader& operator=(const SshConfigAheadReader&) = delete;

 private:
  AbortSignal m_abort;
  std::thread m_thread;
};

}  // namespace dovrel
