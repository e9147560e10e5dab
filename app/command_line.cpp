#include "app/command_line.h"

#include "common/base/ports.h"
#include "common/base/program_name.h"

#include <string>
#include <vector>

namespace dovrel {

namespace {

std::vector<std::string_view> Tokenise(std::string_view tail) {
  constexpr std::string_view kDelimiters = " \t";
  std::vector<std::string_view> tokens;
  std::size_t at = tail.find_first_not_of(kDelimiters);
  while (at != std::string_view::npos) {
    const std::size_t end = tail.find_first_of(kDelimiters, at);
    tokens.push_back(tail.substr(at, end == std::string_view::npos ? end : end - at));
    at = end == std::string_view::npos ? end : tail.find_first_not_of(kDelimiters, end);
  }
  return tokens;
}

}  // namespace

void PrintLine(std::FILE* stream, std::string_view text) {
  std::fprintf(stream, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void PrintUsage(std::string_view problem) {
  PrintLine(stderr, kUsageText);
  if (!problem.empty()) PrintLine(stderr, std::string(kReportPrefix) + std::string(problem));
}

InfoOption FindInfoOption(int argc, const char* const* argv) {
  if (argc < 2) return InfoOption::kNone;
  const std::string_view first = argv[1];
  if (first == "--help" || first == "-h") return InfoOption::kHelp;
  if (first == "--version") return InfoOption::kVersion;
  return InfoOption::kNone;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return tail;
}

std::optional<CommandLine> ParseCommandLine(std::string_view tail, std::string* problem) {
  const auto refused = [problem](std::string_view why) -> std::optional<CommandLine> {
    if (problem != nullptr) *problem = why;
    return std::nullopt;
  };
  const std::vector<std::string_view> tokens = Tokenise(tail);
  CommandLine line;
  std::size_t first = 0;
  // Each option at most once.
  for (; first < tokens.size(); ++first) {
    if ((tokens[first] == "-v" || tokens[first] == "--verbose") && !line.options.verbose) {
      line.options.verbose = true;
    } else if (tokens[first] == "--no-relay" && line.options.relay) {
      line.options.relay = false;
    } else if (tokens[first] == "--trust-host" && !line.options.trustHost) {
      line.options.trustHost = true;
    } else if (tokens[first] == "--untrusted" && !line.options.untrusted) {
      line.options.untrusted = true;
    } else if (tokens[first] == "--ssh" && !line.options.ssh) {
      line.options.ssh = true;
    } else {
      break;
    }
  }
  if (first == tokens.size() || tokens[first].front() == '-') return std::nullopt;
  // ssh brings its own X forwarding: no port is served, no host trusted.
  if (line.options.ssh && (!line.options.relay || line.options.trustHost)) return std::nullopt;

  // user@host: the last '@' ends the user name, as for ssh.
  std::string_view host = tokens[first];
  if (const auto at = host.rfind('@'); at != std::string_view::npos) {
    const std::string_view user = host.substr(0, at);
    host.remove_prefix(at + 1);
    if (user.empty()) return refused("the user name before '@' is empty");
    if (host.empty()) return refused("the host name after '@' is empty");
    if (user.size() > kCredentialMaxBytes) {
      return refused("the user name before '@' is longer than " + std::to_string(kCredentialMaxBytes) + " bytes");
    }
    line.userName = std::string(user);
  }
  line.target.hostName = std::string(host);
  for (std::size_t i = first + 1; i < tokens.size(); ++i) {
    const std::string_view token = tokens[i];
    if (token.size() != 1) return std::nullopt;
    const char c = token.front();
    if (c == 'x' || c == 'X') {
      line.target.xterm = true;
    } else if (const auto number = DisplayDigit(token)) {
      line.target.display = *number;
      line.displayGiven = true;
    } else {
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace dovrel
