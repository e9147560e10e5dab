#include "session/telnet_way/display_access.h"

#include <unistd.h>

#include "common/base/ports.h"
#include "common/net/connector.h"
#include "common/net/local_socket.h"
#include "session/telnet_way/display_rule.h"
#include "session/relay_start/relay_process.h"

namespace dovrel {

namespace {

DisplayAccess Failed(LaunchCause cause, std::string detail = {}) {
  return {LaunchStop{cause, std::move(detail)}, {}, {}, false, {}};
}

const LaunchCookie* CookieOrNone(const std::optional<LaunchCookie>& cookie) { return cookie ? &*cookie : nullptr; }

// The verbose report's words for each way to the display.
std::string JoinedNote(const std::string& name, const std::string& peer, bool cookie) {
  return "display " + name + " is served by the relay of an earlier launch; it lets " + peer +
         (cookie ? " in too, with this launch's cookie" : " in too, by its address alone");
}

std::string DirectNote(const std::string& name, int display, bool answered, std::optional<std::uint32_t> owner) {
  std::string note = "display " + name + (answered ? " takes TCP connections" : " did not answer in time");
  if (owner) note += " (port " + std::to_string(X11TcpPort(display)) + " is uid " + std::to_string(*owner) + "'s)";
  return note;
}

// The relay's program could not start, or did not: why, on standard error
// and in the end's words.
DisplayAccess RelayDidNotStart(const SessionSetup& setup, int display, const std::string& why, Reporter& reporter) {
  reporter.Line("cannot relay display " + LocalDisplayName(display) + " for the host: " + why);
  const LaunchCause cause = RelayStartFailure(setup.options);
  return Failed(cause, cause == LaunchCause::kRelayFailed ? why : std::string());
}

// Starts the relay for this launch's host; its word is waited for later.
DisplayAccess StartRelay(const SessionSetup& setup, const std::string& localAddress, const std::string& peer,
                         int display, std::optional<LaunchCookie> cookie, Reporter& reporter) {
  auto begun = BeginDisplayRelay(setup.relayProgram, localAddress, peer, display,
                                 {CookieOrNone(cookie), setup.options.untrusted, setup.options.verbose});
  if (!begun) return RelayDidNotStart(setup, display, begun.Why(), reporter);
  const bool byCookie = cookie.has_value();
  return {std::nullopt, {}, std::move(cookie), true, PendingRelay{std::move(*begun), peer, display, byCookie}};
}

}  // namespace

DisplayAccess ReachDisplay(LocalDisplay& local, int connection, const std::string& localAddress, int display,
                           const SessionSetup& setup, const AbortSignal& abort, Reporter& reporter) {
  const std::string name = LocalDisplayName(display);
  const std::string peer = PeerAddressOf(connection).value_or("");
  DisplayFacts facts;
  facts.options = setup.options;
  facts.self = ::geteuid();
  facts.hostIsThisMachine = IsAddressOfThisMachine(peer);
  std::optional<LaunchCookie> cookie;
  std::optional<RelayHandle> joined;
  // Finds the facts the rule asks for, one at a time, until it decides.
  for (;;) {
    const DisplayDecision decision = DecideDisplay(facts);
    switch (decision.way) {
      case DisplayDecision::Way::kFind:
        break;
      case DisplayDecision::Way::kStop:
        return Failed(decision.cause, decision.detail);
      case DisplayDecision::Way::kJoined:
        reporter.Verbose(JoinedNote(name, peer, cookie.has_value()));
        return {std::nullopt, std::move(joined->control), std::move(cookie), true, {}};
      case DisplayDecision::Way::kDirect:
        reporter.Verbose(
            DirectNote(name, display, facts.reach == LocalDisplay::Reach::kListening, decision.owner));
        return {std::nullopt, {}, std::nullopt, decision.owner.has_value(), {}};
      case DisplayDecision::Way::kRelay:
        return StartRelay(setup, localAddress, peer, display, std::move(cookie), reporter);
    }
    switch (decision.fact) {
      case DisplayFact::kJoin: {
        // A relay, joined or started, admits this launch by its own cookie,
        // unless it admits by address: made here, where a relay may need it.
        if (!setup.options.trustHost) {
          cookie = LaunchCookie::Make();
          if (!cookie) return Failed(LaunchCause::kRelayFailed, "the system gave no random bytes for a cookie");
        }
        JoinResult join =
            JoinDisplayRelay(localAddress, peer, display, CookieOrNone(cookie), setup.limits.joinAnswerLimit, abort);
        facts.join = JoinAnswer{join.joined.has_value(), join.byAddress, join.denied, join.refused};
        joined = std::move(join.joined);
        if (!joined && !join.denied && !join.refused.empty()) reporter.Line(std::string("not joined: ").append(join.refused));
        break;
      }
      case DisplayFact::kListener:
        facts.listener = local.TcpListenerOwner(localAddress, display);
        break;
      case DisplayFact::kAnswersAsX:
        facts.answersAsX = local.AnswersAsXServer(localAddress, display, abort, setup.limits);
        if (abort.IsTriggered()) return Failed(LaunchCause::kAborted);
        break;
      case DisplayFact::kReach:
        facts.reach = local.CheckTcp(localAddress, display, abort, setup.limits);
        if (abort.IsTriggered()) return Failed(LaunchCause::kAborted);
        break;
      case DisplayFact::kLateListener:
        facts.lateListener = local.TcpListenerOwner(localAddress, display);
        break;
      case DisplayFact::kLocalSocket:
        facts.localSocket = local.HasLocalSocket(display);
        break;
    }
  }
}

DisplayAccess FinishRelay(PendingRelay& pending, const SessionSetup& setup, Reporter& reporter) {
  const std::string name = LocalDisplayName(pending.display);
  auto relay = pending.starting.Finish();
  if (!relay) return RelayDidNotStart(setup, pending.display, relay.Why(), reporter);
  reporter.Verbose("display " + name + " takes no TCP connections; serving " + relay->served + " for " +
                   pending.peer +
                   (pending.cookie ? " alone, with this launch's cookie," : " alone, by its address,") +
                   " relayed to its local socket");
  if (setup.options.trustHost) {
    reporter.Line("--trust-host: every user of " + pending.peer + " can reach display " + name +
                  " through the relay while the terminal lives");
  }
  // Its join socket lives there: where another account made it first, no
  // later launch can join this relay and each starts its own.
  if (!OwnSocketDirectory()) {
    reporter.Line("the relay for " + relay->served + " takes no later launch: the directory of this user's "
                  "sockets is not this user's alone");
  }
  return {std::nullopt, std::move(relay->control), std::nullopt, true, {}};
}

}  // namespace dovrel
