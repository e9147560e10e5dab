#pragma once

#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "relay/admission.h"
#include "relay/splice_pipe.h"
#include "relay/x11_setup.h"
#include "relay/x_authority.h"
#include "common/net/unique_fd.h"

namespace dovrel {

// How a connection's setup request is admitted and what it is given.
struct SetupGate {
  const Admission& admission;
  std::size_t pipeCapacity;
  std::string xSocket;  // the display's local socket
  // The authorisation put in place of the client's.
  std::function<std::optional<XCookie>()> authorisation;
};

// One connection from a host: its setup request read and admitted, then
// copied both ways through a pair of pipes to the X server.
class RelayedConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // What serving it brought about.
  enum class Event {
    kNone,        // nothing to tell
    kAdmitted,    // the setup request carried a launch's cookie and went on
    kMalformed,   // not an X11 setup request
    kDenied,      // no launch's cookie in it
    kNoPipes,     // out of pipes
    kNoXServer,   // the X server (root's or this user's) did not take it
  };

  RelayedConnection(UniqueFd client, in_addr_t host, std::string from, Clock::time_point setupDeadline);

  // Adds its descriptors to this round's poll array, and keeps where.
  void AddPollSlots(std::vector<pollfd>& fds);
  // Serves what poll found for it.
  Event Serve(const std::vector<pollfd>& fds, const SetupGate& gate);
  // Closed from outside (a limit, room for another): wipes what it read.
  void Close();

  [[nodiscard]] bool Done() const { return m_done; }
  [[nodiscard]] bool Admitted() const { return static_cast<bool>(m_server); }
  // The launch that admitted it, once its setup went on to the X server.
  [[nodiscard]] std::optional<int> Launch() const { return m_launch; }
  // Whether the client has sent bytes that are not read yet: a setup
  // request that waits is never the one closed to make room.
  [[nodiscard]] bool HasQueuedBytes() const;
  [[nodiscard]] const std::string& From() const { return m_from; }
  [[nodiscard]] Clock::time_point SetupDeadline() const { return m_setupDeadline; }
  // With kAdmitted: the name of the authorisation passed on (empty: none).
  [[nodiscard]] const std::string& PassedOn() const { return m_passedOn; }
  // Bytes passed on either way since the last call.
  std::size_t TakeMoved() { return m_up.TakeMoved() + m_down.TakeMoved(); }
  // What `event` brought about, in a line of the relay's report (empty:
  // nothing to tell); `display` is the local display it relays to.
  [[nodiscard]] std::string Describe(Event event, int display) const;

 private:
  Event ReadSetup(const SetupGate& gate);
  void Copy(short clientReady, short serverReady);

  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

  UniqueFd m_client;
  UniqueFd m_server;  // open once the setup request has been admitted
  in_addr_t m_host;
  std::string m_from;
  Clock::time_point m_setupDeadline;
  // The client's setup request until it is passed on: it may hold a cookie.
  std::optional<X11SetupReader> m_setup{std::in_place};
  SplicePipe m_up;    // client to X server
  SplicePipe m_down;  // X server to client
  std::string m_passedOn;
  std::optional<int> m_launch;
  bool m_done = false;
  std::size_t m_clientSlot = kNoSlot;
  std::size_t m_serverSlot = kNoSlot;
};

}  // namespace dovrel
