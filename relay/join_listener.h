#pragma once

#include <poll.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

#include "common/net/unique_fd.h"
#include "common/secret/secret_bytes.h"
#include "relay/admission.h"

namespace dovrel {

// Where a later launch of this user, to the same display from another host,
// asks to have its host let in too. Each joined launch holds its connection
// open while it runs; when it closes, its host is let in no more.
class JoinListener {
 public:
  using Report = std::function<void(const std::string&)>;

  // `listener`: none when no later launch can join.
  JoinListener(UniqueFd listener, Report report);

  // Adds the listener's and each joined launch's poll slot.
  void AddPollSlots(std::vector<pollfd>& fds);
  // Serves what poll found ready: new requests, and launches that ended.
  void Serve(const std::vector<pollfd>& fds, Admission& admission, std::chrono::steady_clock::time_point now);

  [[nodiscard]] bool Empty() const { return m_joined.empty(); }
  [[nodiscard]] std::size_t JoinedCount() const { return m_count; }

 private:
  struct Joined {
    UniqueFd connection;
    SecretString request{kRelayJoinLineLimit + 64};  // the request line, as far as it has come
    int launch = 0;
    bool admitted = false;
    std::size_t slot = 0;
  };
  void Accept();
  void Read(Joined& joined, Admission& admission);

  UniqueFd m_listener;
  std::size_t m_slot = 0;
  Report m_report;
  std::list<Joined> m_joined;
  int m_nextLaunch = 1;
  std::size_t m_count = 0;
};

}  // namespace dovrel
