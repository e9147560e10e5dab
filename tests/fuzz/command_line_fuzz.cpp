// The command-line reader on any text, against the classic reading with
// strtok(" \t"): both accept the same lines and read the same host, display
// and switch, except that a host name never begins with '-' and the options
// -v (--verbose), --no-relay, --trust-host, --untrusted and --ssh, each at
// most once, may come before it (--ssh not with --no-relay or --trust-host),
// and user@host names a user: what precedes the last '@', 1 to 20 bytes,
// before a host that is not empty.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"

namespace {

std::optional<dovrel::CommandLine> ReadWithStrtok(const std::string& tail) {
  std::string scratch = tail;  // strtok writes into what it splits
  std::vector<std::string> tokens;
  char* rest = nullptr;
  for (char* token = strtok_r(scratch.data(), " \t", &rest); token != nullptr;
       token = strtok_r(nullptr, " \t", &rest)) {
    tokens.emplace_back(token);
  }
  dovrel::CommandLine line;
  std::size_t first = 0;
  for (; first < tokens.size(); ++first) {
    const std::string& token = tokens[first];
    if ((token == "-v" || token == "--verbose") && !line.options.verbose) {
      line.options.verbose = true;
    } else if (token == "--no-relay" && line.options.relay) {
      line.options.relay = false;
    } else if (token == "--trust-host" && !line.options.trustHost) {
      line.options.trustHost = true;
    } else if (token == "--untrusted" && !line.options.untrusted) {
      line.options.untrusted = true;
    } else if (token == "--ssh" && !line.options.ssh) {
      line.options.ssh = true;
    } else {
      break;
    }
  }
  if (first == tokens.size() || tokens[first].front() == '-') return std::nullopt;
  if (line.options.ssh && (!line.options.relay || line.options.trustHost)) return std::nullopt;
  line.target.hostName = tokens[first];
  if (const char* at = std::strrchr(tokens[first].c_str(), '@')) {
    const std::size_t length = static_cast<std::size_t>(at - tokens[first].c_str());
    if (length == 0 || length > 20 || at[1] == '\0') return std::nullopt;
    line.userName = tokens[first].substr(0, length);
    line.target.hostName = at + 1;
  }
  for (std::size_t i = first + 1; i < tokens.size(); ++i) {
    if (tokens[i].size() != 1) return std::nullopt;
    const char c = tokens[i].front();
    if (c == 'x' || c == 'X') {
      line.target.xterm = true;
    } else if (c >= '0' && c <= '9') {
      line.target.display = c - '0';
      line.displayGiven = true;
    } else {
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // A command line cannot hold NUL bytes.
  std::string tail(reinterpret_cast<const char*>(bytes), size);
  for (char& c : tail) {
    if (c == '\0') c = 'a';
  }
  const auto ours = dovrel::ParseCommandLine(tail);
  const auto classic = ReadWithStrtok(tail);
  FUZZ_CHECK(ours.has_value() == classic.has_value());
  if (ours) {
    FUZZ_CHECK(ours->target == classic->target);
    FUZZ_CHECK(ours->options == classic->options);
    FUZZ_CHECK(ours->displayGiven == classic->displayGiven);
    FUZZ_CHECK(ours->userName == classic->userName);
    FUZZ_CHECK(ours->target.display >= 0 && ours->target.display <= 9);
  }
  return 0;
}
