#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/base/or_failure.h"
#include "session/launch/launch_cause.h"
#include "session/launch/terminal_program.h"
#include "common/net/unique_fd.h"
#include "session/telnet_way/display_access.h"
#include "session/login/login_dialogue.h"
#include "session/relay_start/launch_cookie.h"
#include "session/telnet/telnet_channel.h"
#include "session/telnet_way/transcript.h"
#include "session/watch/local_display.h"
#include "session/launch/way_in.h"

namespace dovrel {

// Telnet: this program types the login and the command line, and the
// terminal reaches the display over TCP, directly or through the relay.
std::unique_ptr<WayIn> TelnetWayIn(LaunchContext& launch);

// The launch over telnet: connects to the host, finds how a terminal there
// reaches the display (directly, or through the relay with this launch's
// cookie), logs in, installs the cookie, types the command line, watches for
// the terminal and types "exit". It holds the socket, the relay's control
// and the cookie while it runs, and closes them all before Run returns.
class TelnetLaunch final : public WayIn {
 public:
  explicit TelnetLaunch(LaunchContext& launch) : m_launch(launch) {}

  LaunchCause Run() override;

 private:
  // The socket, connected to the host; or why not.
  OrFailure<UniqueFd> ConnectToHost();
  LaunchCause RunConnected(TelnetChannel& channel);
  // Waits for the relay this launch started, once the host has come to its
  // login prompt and before anything is typed: why it did not start, if it
  // did not.
  std::optional<LaunchStop> RelayNotStarted();
  // The login dialogue's stop, as the launch's.
  LaunchCause AfterLogin(TelnetChannel& channel, const LoginStop& login);
  LaunchCause LaunchRemoteTerminal(TelnetChannel& channel);
  // Types the command line for `program` and watches for its terminal
  // with `watch` (which it ends); nothing when the line could not be sent.
  std::optional<LaunchStop> StartTerminal(TelnetChannel& channel, const TerminalProgram& program,
                                             std::unique_ptr<TerminalWatch>& watch);
  // Asks the user whether to start xterm where kterm is missing, reading
  // the host meanwhile; nothing when the launch was aborted or the host went.
  std::optional<bool> AskForXterm(TelnetChannel& channel);
  // Installs the relay's cookie for this launch on the host, running
  // `meanwhile` while the host starts xauth; none when the launch goes on to
  // the command line.
  std::optional<LaunchCause> InstallLaunchCookie(TelnetChannel& channel, const std::function<void()>& meanwhile);
  LaunchCause Stopped(TelnetChannel& channel, Step step, IoStatus status);
  LaunchCause SendFailed(TelnetChannel& channel, Step step);
  // Lets "exit" reach the host's shell and reads until it is done: a short
  // quiet once the end is known, or as long as the host talks (within the
  // read limit). False when "exit" could not be typed.
  bool TypeExit(TelnetChannel& channel, bool endKnown);
  void CloseSocket() noexcept;

  LaunchContext& m_launch;
  UniqueFd m_hSocket;
  std::chrono::steady_clock::time_point m_connectedAt{};
  std::string m_localAddress;
  // The relay's control: held while the launch runs, closed when it ends.
  UniqueFd m_relayControl;
  // A relay started and not yet waited for; the trouble it had.
  std::optional<PendingRelay> m_pendingRelay;
  // The cookie the relay admits, installed on the host before the command line.
  std::optional<LaunchCookie> m_cookie;
  bool m_tcpTrusted = false;
  // What the host said and what was typed, while the connection is open.
  Transcript* m_transcript = nullptr;
};

}  // namespace dovrel
