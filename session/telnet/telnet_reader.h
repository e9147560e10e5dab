#pragma once

#include <optional>

namespace dovrel {

// One complete piece of what the host sends.
struct TelnetUnit {
  enum class Kind {
    kData,            // `value` is one data byte (IAC IAC arrives as 255)
    kCommand,         // a two-byte command such as NOP or GA; `verb` is its byte
    kNegotiation,     // WILL, WONT, DO or DONT in `verb`, the option in `value`
    kSubnegotiation,  // IAC SB `value` ... IAC SE, skipped whole
  };
  Kind kind = Kind::kData;
  unsigned char verb = 0;
  unsigned char value = 0;

  friend bool operator==(const TelnetUnit&, const TelnetUnit&) = default;
};

// Splits the incoming byte stream into data bytes and telnet commands.
//
// A byte loop over a few states, so a command split across reads (or fed one
// byte at a time) comes out the same as one read whole. It never touches a
// socket and keeps no payload: a sub-negotiation of any length costs nothing.
class TelnetReader {
 public:
  // Consumes one byte; returns the unit that this byte completes, if any.
  std::optional<TelnetUnit> Feed(unsigned char byte);

 private:
  enum class State { kData, kIac, kNegotiation, kSbOption, kSbData, kSbIac };

  std::optional<TelnetUnit> AfterIac(unsigned char byte);

  State m_state = State::kData;
  unsigned char m_verb = 0;
  unsigned char m_sbOption = 0;
};

}  // namespace dovrel
