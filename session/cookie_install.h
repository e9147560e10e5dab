#pragma once

#include <functional>
#include <string>

#include "session/base/limits.h"
#include "session/net/launch_cookie.h"
#include "session/net/transport.h"
#include "session/telnet/telnet_channel.h"

namespace dovrel {

// What came of installing the launch's cookie on the host.
struct XauthResult {
  enum class Kind {
    kInstalled,   // typed to xauth, with its "exit"; the shell reads what comes next
    kMissing,     // the shell found no xauth
    kSilent,      // xauth never asked for its commands within the read limit
    kStopped,     // the host closed, fell silent or failed: see status
    kSendFailed,  // a line could not be typed
  };
  Kind kind = Kind::kStopped;
  IoStatus status = IoStatus::kOk;
  std::string hostLine;  // with kMissing: the shell's words, quoted
};

// At the shell's prompt: starts the host's xauth, waits until it reads its
// commands, then types the line that adds `cookie` for `address`:`display`
// (shown as a secret) and xauth's "exit".
// `meanwhile` runs once the xauth line is out, while the host starts it.
XauthResult InstallCookie(TelnetChannel& channel, const LaunchCookie& cookie, const std::string& address,
                          int display, const Limits& limits, WaitClock& clock, const std::function<void()>& meanwhile);

}  // namespace dovrel
