#pragma once

#include <map>
#include <string>

// Where the time of a login goes, read from the program's verbose report
// ("dovrel: 0.123 s: what", times since OK was taken).
struct PhaseTimes {
  double at = 0;    // when the phase ended, ms since OK
  double host = 0;  // ms of it the program waited for the host's text
  double own = 0;   // ms of it from the host's last text to the program's typing
};

// The phases, keyed "1 connected", "2 first login: prompt", "3 Password:
// prompt", "4 shell prompt", "5 command typed". Each gap between two lines
// of the report goes to whoever acted at its end: the host (a "host:" line)
// or the program (anything else, such as a typed line). Missing phases are
// left out.
std::map<std::string, PhaseTimes> ReadPhases(const std::string& path);
