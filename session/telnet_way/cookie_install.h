#pragma once

#include <functional>
#include <optional>
#include <string>

#include "common/base/limits.h"
#include "session/launch/launch_cause.h"
#include "session/relay_start/launch_cookie.h"
#include "session/telnet/telnet_channel.h"

namespace dovrel {

// At the shell's prompt: starts the host's xauth, waits until it reads its
// commands, then types the line that adds `cookie` for `address`:`display`
// (shown as a secret) and xauth's "exit". `meanwhile` runs once the xauth
// line is out, while the host starts it. Nothing when the cookie went in;
// otherwise why the launch stops: kNoXauth (the shell's words in the host
// line), kXauthSilent, kHostStopped (the channel's last read tells how) or
// kSendFailed.
std::optional<LaunchStop> InstallCookie(TelnetChannel& channel, const LaunchCookie& cookie,
                                           const std::string& address, int display, const Limits& limits,
                                           WaitClock& clock, const std::function<void()>& meanwhile);

}  // namespace dovrel
