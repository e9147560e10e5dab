#include "bench/phase_report.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace {

struct ReportLine {
  double ms = 0;
  bool host = false;
  std::string what;
};

std::vector<ReportLine> ReadLines(const std::string& path) {
  std::ifstream report(path);
  std::vector<ReportLine> lines;
  for (std::string line; std::getline(report, line);) {
    std::istringstream fields(line);
    std::string prefix, unit;
    double seconds = 0;
    if (!(fields >> prefix >> seconds >> unit) || prefix != "dovrel:" || unit != "s:") continue;
    ReportLine parsed;
    parsed.ms = seconds * 1000.0;
    std::getline(fields >> std::ws, parsed.what);
    parsed.host = parsed.what.starts_with("host: ");
    lines.push_back(std::move(parsed));
  }
  return lines;
}

// The phase that ends at this line, or nothing.
std::string PhaseEndingAt(const ReportLine& line, const std::map<std::string, PhaseTimes>& seen, bool passwordTyped) {
  if (line.what.starts_with("connected")) return "1 connected";
  // Over ssh: all before it is the program's own (the configuration, the
  // checks, the askpass socket), what ssh alone would not spend.
  if (line.what.starts_with("starting ssh to ")) return "1 before ssh starts";
  if (line.what.starts_with("typed: ") && !seen.count("2 first login: prompt")) return "2 first login: prompt";
  if (line.what == "typed: ********\\n") return "3 Password: prompt";
  if (passwordTyped && line.host) {
    // Escaped text: the shell's prompt ends in a prompt character and a blank.
    std::string text = line.what.substr(6);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (!text.empty() && std::string("$#%>").find(text.back()) != std::string::npos) return "4 shell prompt";
  }
  if (line.what.starts_with("typed: xterm") || line.what.starts_with("typed: kterm")) return "5 command typed";
  return {};
}

}  // namespace

std::map<std::string, PhaseTimes> ReadPhases(const std::string& path) {
  std::map<std::string, PhaseTimes> phases;
  PhaseTimes current;
  double previous = 0;
  bool passwordTyped = false;
  for (const ReportLine& line : ReadLines(path)) {
    (line.host ? current.host : current.own) += line.ms - previous;
    previous = line.ms;
    const std::string phase = PhaseEndingAt(line, phases, passwordTyped);
    if (phase.empty() || phases.count(phase)) continue;
    if (phase[0] == '3') passwordTyped = true;
    current.at = line.ms;
    phases[phase] = current;
    current = {};
  }
  return phases;
}
