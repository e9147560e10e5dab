#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/net/abort_signal.h"
#include "common/net/unique_fd.h"

namespace dovrel {

// The OpenSSH client of one launch, a child in a session of its own: no
// controlling terminal, input and output on /dev/null. Its error output
// reaches this process through a drain (the helper run as "--drain"), which
// goes on reading it after this process has ended: the client's and the
// terminal's later words then fall into the drain, and a closed output never
// stops the remote command.
class SshProcess {
 public:
  SshProcess() = default;
  SshProcess(SshProcess&& other) noexcept;
  SshProcess& operator=(SshProcess&& other) noexcept;
  SshProcess(const SshProcess&) = delete;
  SshProcess& operator=(const SshProcess&) = delete;
  // Ends a client that still runs, unless it was let go.
  ~SshProcess();

  // Starts `arguments` (the program found on PATH) with `environment`
  // (NAME=value, the whole of it). On failure: the errno of the start.
  static SshProcess Start(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                          const std::string& drainProgram, int& error);

  [[nodiscard]] bool Running() const { return m_pid > 0; }
  [[nodiscard]] pid_t Pid() const { return m_pid; }
  // The client's error output, non-blocking; closed once it has ended.
  [[nodiscard]] int ErrorOutput() const { return m_errors.Get(); }
  // Reads what the error output holds now; false at its end.
  bool ReadErrors(std::string& into);
  // Reaps the client if it has ended: its exit status (128 + signal).
  std::optional<int> Exited();
  // Ends the client and everything it started (its process group): TERM,
  // then KILL after `grace`.
  void End(std::chrono::milliseconds grace);
  // The terminal is up: the client runs on alone, with the drain.
  void LetGo();

 private:
  pid_t m_pid = -1;
  UniqueFd m_errors;
  std::optional<int> m_status;
};

// The environment of this process without the names in `drop`, with `add`.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& drop, const std::vector<std::string>& add);

// Runs `arguments` to its end and returns its output, at most `limit`
// long; nothing when it cannot start (`startError` says why), fails or
// takes longer.
std::optional<std::string> RunForOutput(const std::vector<std::string>& arguments,
                                        const std::vector<std::string>& environment, std::chrono::milliseconds limit,
                                        const AbortSignal& abort, int& startError);

}  // namespace dovrel
