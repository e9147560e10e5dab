// The telnet reader and the option answers, with no socket: bytes in, data
// bytes and replies out. Every case is fed whole and one byte at a time.

#include <gtest/gtest.h>

#include <type_traits>

#include <string>
#include <vector>

#include "session/telnet/option_refuser.h"
#include "scripted_host.h"
#include "session/telnet/telnet_protocol.h"
#include "session/telnet/telnet_reader.h"

namespace dovrel {
namespace {

using test::Bytes;

struct Outcome {
  std::string data;     // data bytes, in order
  std::string replies;  // everything the client would send back
  std::vector<TelnetUnit> commands;
};

Outcome Feed(const std::string& input, std::size_t chunk) {
  TelnetReader reader;
  OptionRefuser options;
  Outcome out;
  for (std::size_t at = 0; at < input.size(); at += chunk) {
    for (const char c : input.substr(at, chunk)) {
      const auto unit = reader.Feed(static_cast<unsigned char>(c));
      if (!unit) continue;
      if (unit->kind == TelnetUnit::Kind::kData) {
        out.data.push_back(static_cast<char>(unit->value));
        continue;
      }
      out.commands.push_back(*unit);
      if (unit->kind == TelnetUnit::Kind::kNegotiation) {
        const TelnetReply reply = options.Answer(unit->verb, unit->value);
        out.replies.append(reinterpret_cast<const char*>(reply.bytes.data()), reply.size);
      }
    }
  }
  return out;
}

struct Case {
  const char* rule;
  std::string input;
  std::string data;
  std::string replies;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.rule; }

class TelnetStream : public ::testing::TestWithParam<Case> {};

TEST_P(TelnetStream, GivesTheSameDataAndRepliesWholeOrByteByByte) {
  const Case& c = GetParam();
  for (const std::size_t chunk : {c.input.size() + 1, std::size_t{1}, std::size_t{2}}) {
    const Outcome out = Feed(c.input, chunk);
    EXPECT_EQ(out.data, c.data) << c.rule << " (chunk " << chunk << ")";
    EXPECT_EQ(out.replies, c.replies) << c.rule << " (chunk " << chunk << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TelnetStream,
    ::testing::Values(
        Case{"DO is refused with WONT", Bytes({255, 253, 24}), "", Bytes({255, 252, 24})},
        Case{"WILL is refused with DONT", Bytes({255, 251, 1}), "", Bytes({255, 254, 1})},
        Case{"WONT for an option that is off gets no reply", Bytes({255, 252, 5}), "", ""},
        Case{"DONT for an option that is off gets no reply", Bytes({255, 254, 32}), "", ""},
        Case{"a repeated WILL is refused again", Bytes({255, 251, 3, 255, 251, 3}), "",
             Bytes({255, 254, 3, 255, 254, 3})},
        Case{"DO TRANSMIT-BINARY is agreed to once", Bytes({255, 253, 0, 255, 253, 0}), "",
             Bytes({255, 251, 0})},
        Case{"DONT TRANSMIT-BINARY after agreeing gets WONT, once",
             Bytes({255, 253, 0, 255, 254, 0, 255, 254, 0}), "",
             Bytes({255, 251, 0, 255, 252, 0})},
        Case{"WILL TRANSMIT-BINARY from the host is still refused", Bytes({255, 251, 0}), "",
             Bytes({255, 254, 0})},
        Case{"IAC IAC is one data byte 255", Bytes({255, 255, 'A'}), Bytes({255, 'A'}), ""},
        Case{"GA is two bytes long and the CR after it is data", Bytes({255, 249, 13, 10}),
             "\r\n", ""},
        Case{"NOP, SE and IAC NUL take no option byte", Bytes({255, 241, 'a', 255, 240, 'b', 255, 0, 0}),
             Bytes({'a', 'b', 0}), ""},
        Case{"a sub-negotiation is skipped whole", Bytes({255, 250, 24, 1, 255, 240, 'x'}), "x", ""},
        Case{"IAC IAC inside a sub-negotiation does not end it",
             Bytes({255, 250, 24, 255, 255, 255, 240, 'y'}), "y", ""},
        Case{"a command inside a sub-negotiation ends it and is read as itself",
             Bytes({255, 250, 24, 1, 255, 253, 1, 'z'}), "z", Bytes({255, 252, 1})},
        Case{"commands are handled after data too",
             "login" + Bytes({255, 251, 3, 255, 251, 1}) + ":", "login:",
             Bytes({255, 254, 3, 255, 254, 1})},
        Case{"busybox's opening segment",
             Bytes({255, 253, 1, 255, 253, 31, 255, 251, 1, 255, 251, 3}) + "\r\r\nhost login: ",
             "\r\r\nhost login: ",
             Bytes({255, 252, 1, 255, 252, 31, 255, 254, 1, 255, 254, 3})},
        Case{"plain data passes unchanged, NUL and high bytes included",
             Bytes({'a', 0, 128, 254, 13}), Bytes({'a', 0, 128, 254, 13}), ""}));

TEST(TelnetReader, ReportsEachKindOfCommand) {
  const Outcome out = Feed(Bytes({255, 241, 255, 253, 7, 255, 250, 31, 0, 80, 255, 240}), 1);
  ASSERT_EQ(out.commands.size(), 3U);
  EXPECT_EQ(out.commands[0], (TelnetUnit{TelnetUnit::Kind::kCommand, 241, 0}));
  EXPECT_EQ(out.commands[1], (TelnetUnit{TelnetUnit::Kind::kNegotiation, 253, 7}));
  EXPECT_EQ(out.commands[2], (TelnetUnit{TelnetUnit::Kind::kSubnegotiation, 250, 31}));
}

TEST(TelnetReader, AnEndlessSubnegotiationHidesDataInAFewBytesOfState) {
  // Nothing of the payload is handed on, however long it goes.
  TelnetReader reader;
  reader.Feed(255);
  reader.Feed(250);
  for (int i = 0; i < 1'000'000; ++i) {
    ASSERT_FALSE(reader.Feed(static_cast<unsigned char>(i % 255)).has_value());
  }
  reader.Feed(255);
  reader.Feed(240);
  // Back in the data: the next byte is text again.
  EXPECT_EQ(reader.Feed('x'), (TelnetUnit{TelnetUnit::Kind::kData, 0, 'x'}));
}

TEST(TelnetEscaping, DoublesEveryByte255AndNothingElse) {
  std::vector<unsigned char> out;
  const std::vector<unsigned char> in = {'p', 255, 'w', 255, 255};
  telnet::AppendEscaped(in, out);
  EXPECT_EQ(out, (std::vector<unsigned char>{'p', 255, 255, 'w', 255, 255, 255, 255}));
}

}  // namespace
}  // namespace dovrel
