#include "display_access.h"

#include <variant>

#include "net/connector.h"
#include "relay/relay_process.h"

namespace dovrel {

DisplayAccess ReachDisplay(LocalDisplay& local, int connection, const std::string& localAddress, int display,
                           const SessionSetup& setup, const AbortSignal& abort, Reporter& reporter) {
  const std::string name = ":" + std::to_string(display);
  const std::string peer = PeerAddressOf(connection).value_or("");
  // A relay of an earlier launch may serve the port already: it lets this
  // host in too, and lives on while this session does.
  if (setup.relay) {
    if (auto joined = JoinDisplayRelay(localAddress, peer, display)) {
      reporter.Verbose("display " + name + " is served by the relay of an earlier launch; it lets " + peer +
                       " in too");
      return {std::nullopt, std::move(joined->control)};
    }
  }
  const auto reach = local.CheckTcp(localAddress, display, abort, setup.limits);
  if (abort.IsTriggered()) return {LaunchCause::kAborted, {}};
  if (reach != LocalDisplay::Reach::kRefused) {
    reporter.Verbose("display " + name +
                     (reach == LocalDisplay::Reach::kListening ? " takes TCP connections" : " did not answer in time"));
    return {};
  }
  // No terminal can reach a display that takes no TCP connections, unless
  // this machine serves the port for the host itself.
  if (!setup.relay) return {LaunchCause::kNoTcp, {}};
  if (!local.HasLocalSocket(display)) return {LaunchCause::kNoXServer, {}};
  auto started = StartDisplayRelay(setup.relayProgram, localAddress, peer, display, setup.verbose);
  if (const auto* why = std::get_if<std::string>(&started)) {
    reporter.Line("dovrel: cannot relay display " + name + " for the host: " + *why);
    return {LaunchCause::kNoTcp, {}};
  }
  RelayHandle& relay = std::get<RelayHandle>(started);
  reporter.Verbose("display " + name + " takes no TCP connections; serving " + relay.served + " for " + peer +
                   " alone, relayed to its local socket");
  return {std::nullopt, std::move(relay.control)};
}

}  // namespace dovrel
