#include "session/telnet_way/cookie_install.h"

#include "session/host_text/xauth_words.h"

namespace dovrel {

std::optional<LaunchStop> InstallCookie(TelnetChannel& channel, const LaunchCookie& cookie,
                                           const std::string& address, int display, const Limits& limits,
                                           WaitClock& clock, const std::function<void()>& meanwhile) {
  if (!channel.SendLine(kXauthCommandLine)) return LaunchStop{LaunchCause::kSendFailed};
  meanwhile();
  // The cookie is typed only once xauth asks for its commands: typed any
  // earlier, a shell that reads ahead could take it as a command of its own.
  XauthWords words;
  const auto asked = clock.Now() + limits.readLimit;
  for (;;) {
    const auto next = channel.ReadDataByte(limits.readLimit, asked);
    if (next.status == IoStatus::kTimedOut) return LaunchStop{LaunchCause::kXauthSilent};
    if (next.status != IoStatus::kOk) return LaunchStop{LaunchCause::kHostStopped};
    const auto state = words.Feed(next.byte);
    if (state == XauthWords::State::kMissing) return LaunchStop{LaunchCause::kNoXauth, words.Said()};
    if (state == XauthWords::State::kReading) break;
  }
  SecretString add(128);
  AppendXauthAddLine(address, display, cookie.Hex().View(), add.Edit());
  const bool sent = channel.SendLine(add.Bytes(), TelnetChannel::Echo::kSecret);
  if (!sent || !channel.SendLine(kXauthEnd)) return LaunchStop{LaunchCause::kSendFailed};
  // What is typed next waits in the terminal for the shell: xauth reads one
  // line at a time and no further than its "exit".
  return std::nullopt;
}

}  // namespace dovrel
