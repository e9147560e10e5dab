#include "session/display_access.h"

#include <variant>

#include "common/base/ports.h"
#include "common/net/connector.h"
#include "common/net/local_socket.h"
#include "session/relay_start/relay_process.h"

namespace dovrel {

namespace {

DisplayAccess Failed(LaunchCause cause, std::string detail = {}) { return {cause, std::move(detail), {}, {}, false}; }

const LaunchCookie* Of(const std::optional<LaunchCookie>& cookie) { return cookie ? &*cookie : nullptr; }

}  // namespace

DisplayAccess ReachDisplay(LocalDisplay& local, int connection, const std::string& localAddress, int display,
                           const SessionSetup& setup, const AbortSignal& abort, Reporter& reporter) {
  const std::string name = LocalDisplayName(display);
  const std::string peer = PeerAddressOf(connection).value_or("");
  const std::string port = std::to_string(X11TcpPort(display));
  // Admitting by address lets in every user of the host; when the host is
  // this machine, every local user.
  if (setup.relay && setup.trustHost && IsAddressOfThisMachine(peer)) return Failed(LaunchCause::kTrustHostLocal);
  std::optional<LaunchCookie> cookie;
  if (setup.relay && !setup.trustHost) {
    cookie = LaunchCookie::Make();
    if (!cookie) return Failed(LaunchCause::kRelayFailed, "the system gave no random bytes for a cookie");
  }
  // A relay of an earlier launch may serve the port already: it lets this
  // host in too, and lives on while this launch does.
  if (setup.relay) {
    JoinResult join = JoinDisplayRelay(localAddress, peer, display, Of(cookie), setup.limits.joinAnswerLimit, abort);
    // A launch with a cookie does not join a relay that lets the host in by
    // address: it would be as open as --trust-host while it says otherwise.
    if (join.joined && join.byAddress && cookie) {
      return Failed(LaunchCause::kJoinRefused, "it admits every connection from its hosts by address (--trust-host)");
    }
    if (join.denied) return Failed(LaunchCause::kJoinRefused, join.refused);
    if (join.joined) {
      reporter.Verbose("display " + name + " is served by the relay of an earlier launch; it lets " + peer +
                       (cookie ? " in too, with this launch's cookie" : " in too, by its address alone"));
      return {std::nullopt, {}, std::move(join.joined->control), std::move(cookie), true};
    }
    if (!join.refused.empty()) reporter.Line("not joined: " + join.refused);
  }
  // The terminal will log in as this user and show on whoever listens
  // there: only root's or this user's X server is trusted with it. Who
  // listens is read from the socket table first, so another account's
  // listener learns nothing of the launch, not even a bare connection; one
  // of root's (a port forwarder, say) must answer as an X server.
  const auto listener = local.TcpListenerOwner(localAddress, display);
  if (listener && !IsTrustedOwner(*listener)) return Failed(LaunchCause::kForeignListener, std::to_string(*listener));
  if (listener && *listener == 0 && !local.AnswersAsXServer(localAddress, display, abort, setup.limits)) {
    if (abort.IsTriggered()) return Failed(LaunchCause::kAborted);
    return Failed(LaunchCause::kListenerNotX);
  }
  const auto reach = local.CheckTcp(localAddress, display, abort, setup.limits);
  if (abort.IsTriggered()) return Failed(LaunchCause::kAborted);
  if (reach != LocalDisplay::Reach::kRefused) {
    // A listener that came up since the table was read is told again.
    const auto owner = listener ? listener : local.TcpListenerOwner(localAddress, display);
    if (owner && !IsTrustedOwner(*owner)) return Failed(LaunchCause::kForeignListener, std::to_string(*owner));
    if (!owner && reach == LocalDisplay::Reach::kListening) return Failed(LaunchCause::kListenerUnknown);
    reporter.Verbose("display " + name +
                     (reach == LocalDisplay::Reach::kListening ? " takes TCP connections" : " did not answer in time") +
                     (owner ? " (port " + port + " is uid " + std::to_string(*owner) + "'s)" : std::string()));
    return {std::nullopt, {}, {}, std::nullopt, owner.has_value()};
  }
  // No terminal can reach a display that takes no TCP connections, unless
  // this machine serves the port for the host itself.
  if (!setup.relay) return Failed(LaunchCause::kNoTcp);
  if (!local.HasLocalSocket(display)) return Failed(LaunchCause::kNoXServer);
  auto started = StartDisplayRelay(setup.relayProgram, localAddress, peer, display,
                                   {Of(cookie), setup.untrusted, setup.verbose});
  if (const auto* why = std::get_if<std::string>(&started)) {
    reporter.Line("cannot relay display " + name + " for the host: " + *why);
    // An untrusted authorisation the X server cannot give is its own cause;
    // otherwise the display is as good as one without TCP.
    return setup.untrusted ? Failed(LaunchCause::kRelayFailed, *why) : Failed(LaunchCause::kNoTcp);
  }
  RelayHandle& relay = std::get<RelayHandle>(started);
  reporter.Verbose("display " + name + " takes no TCP connections; serving " + relay.served + " for " + peer +
                   (cookie ? " alone, with this launch's cookie," : " alone, by its address,") +
                   " relayed to its local socket");
  if (setup.trustHost) {
    reporter.Line("--trust-host: every user of " + peer + " can reach display " + name +
                  " through the relay while the terminal lives");
  }
  return {std::nullopt, {}, std::move(relay.control), std::move(cookie), true};
}

}  // namespace dovrel
