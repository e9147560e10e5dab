#include "session/telnet_way/display_rule.h"

namespace dovrel {

namespace {

DisplayDecision Find(DisplayFact fact) { return {DisplayDecision::Way::kFind, fact, {}, {}, {}}; }

DisplayDecision Stop(LaunchCause cause, std::string detail = {}) {
  return {DisplayDecision::Way::kStop, {}, cause, std::move(detail), {}};
}

DisplayDecision Take(DisplayDecision::Way way, std::optional<std::uint32_t> owner = {}) {
  return {way, {}, {}, {}, owner};
}

}  // namespace

DisplayDecision DecideDisplay(const DisplayFacts& facts) {
  const LaunchOptions& options = facts.options;
  // The terminal will log in as this user and show on whoever listens:
  // only root's or this user's X server is trusted with it.
  const auto trusted = [&facts](std::uint32_t uid) { return uid == 0 || uid == facts.self; };
  // Admitting by address lets in every user of the host; when the host is
  // this machine, every local user.
  if (options.relay && options.trustHost && facts.hostIsThisMachine) return Stop(LaunchCause::kTrustHostLocal);
  // A relay of an earlier launch may serve the port already: it lets this
  // host in too, and lives on while this launch does. A launch with a cookie
  // does not join one that lets its hosts in by address: it would be as
  // open as --trust-host while it says otherwise.
  if (options.relay) {
    if (!facts.join) return Find(DisplayFact::kJoin);
    const JoinAnswer& join = *facts.join;
    if (join.joined && join.byAddress && !options.trustHost) {
      return Stop(LaunchCause::kJoinRefused, "it admits every connection from its hosts by address (--trust-host)");
    }
    if (join.denied) return Stop(LaunchCause::kJoinRefused, join.refused);
    if (join.joined) return Take(DisplayDecision::Way::kJoined);
  }
  // Who listens is read from the socket table first, so another account's
  // listener learns nothing of the launch, not even a bare connection; one
  // of root's (a port forwarder, say) must answer as an X server.
  if (!facts.listener) return Find(DisplayFact::kListener);
  const std::optional<std::uint32_t> listener = *facts.listener;
  if (listener && !trusted(*listener)) return Stop(LaunchCause::kForeignListener, std::to_string(*listener));
  if (listener && *listener == 0) {
    if (!facts.answersAsX) return Find(DisplayFact::kAnswersAsX);
    if (!*facts.answersAsX) return Stop(LaunchCause::kListenerNotX);
  }
  if (!facts.reach) return Find(DisplayFact::kReach);
  if (*facts.reach != LocalDisplay::Reach::kRefused) {
    // A listener that came up since the table was read is told again.
    std::optional<std::uint32_t> owner = listener;
    if (!owner) {
      if (!facts.lateListener) return Find(DisplayFact::kLateListener);
      owner = *facts.lateListener;
    }
    if (owner && !trusted(*owner)) return Stop(LaunchCause::kForeignListener, std::to_string(*owner));
    if (!owner && *facts.reach == LocalDisplay::Reach::kListening) return Stop(LaunchCause::kListenerUnknown);
    return Take(DisplayDecision::Way::kDirect, owner);
  }
  // No terminal can reach a display that takes no TCP connections, unless
  // this machine serves the port for the host itself.
  if (!options.relay) return Stop(LaunchCause::kNoTcp);
  if (!facts.localSocket) return Find(DisplayFact::kLocalSocket);
  if (!*facts.localSocket) return Stop(LaunchCause::kNoXServer);
  return Take(DisplayDecision::Way::kRelay);
}

LaunchCause RelayStartFailure(const LaunchOptions& options) {
  return options.untrusted ? LaunchCause::kRelayFailed : LaunchCause::kNoTcp;
}

}  // namespace dovrel
