// The xauth exchange as the host's text tells it, and the cookie kept out of
// every report.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/host_text/host_text.h"
#include "session/host_text/xauth_words.h"

namespace dovrel {
namespace {

XauthWords::State Read(std::string_view text, XauthWords& words) {
  XauthWords::State state = XauthWords::State::kWaiting;
  for (const char c : text) state = words.Feed(static_cast<unsigned char>(c));
  return state;
}

TEST(XauthWords, TellXauthReadingFromEveryShellsNotFound) {
  using State = XauthWords::State;
  struct Case {
    const char* text;
    State state;
  };
  const std::vector<Case> cases = {
      {"xauth -v -\r\nUsing authority file /home/a/.Xauthority\r\nxauth> ", State::kReading},
      {"xauth -v -\r\n\x1b[?2004l\r" "xauth:  file /home/a/.Xauthority does not exist\r\nxauth> ", State::kReading},
      {"xauth -v -\r\n", State::kWaiting},
      {"xauth -v -\r\nxauth", State::kWaiting},
      {"xauth -v -\r\n-bash: xauth: command not found\r\n$ ", State::kMissing},
      {"xauth -v -\r\nsh: 1: xauth: not found\r\n$ ", State::kMissing},
      {"xauth -v -\r\nxauth: Command not found.\r\n% ", State::kMissing},
      {"xauth -v -\r\nzsh: command not found: xauth\r\n% ", State::kMissing},
      {"xauth -v -\r\nfish: Unknown command: xauth\r\n> ", State::kMissing},
      {"xauth -v -\r\n-sh: xauth: not found\r\n$ ", State::kMissing},
      {"xauth -v -\r\nbash: /usr/bin/xauth: Permission denied\r\n$ ", State::kMissing},
      // A prompt first wins: what follows is xauth's own business.
      {"xauth -v -\r\nxauth> xauth: not found\r\n", State::kReading},
  };
  for (const Case& c : cases) {
    XauthWords words;
    EXPECT_EQ(Read(c.text, words), c.state) << EscapeHostText(c.text);
  }
  XauthWords words;
  Read("xauth -v -\r\nsh: 1: xauth: not found\r\n", words);
  EXPECT_EQ(QuoteHostText(words.Said()), "sh: 1: xauth: not found");
}

TEST(XauthWords, TheAddLineNamesTheDisplayAndTheCookie) {
  std::string line;
  AppendXauthAddLine("10.0.0.1", 7, "00ff", line);
  EXPECT_EQ(line, "add 10.0.0.1:7 MIT-MAGIC-COOKIE-1 00ff");
}

TEST(MaskSecret, HidesTheCookieWholeAndEveryPieceOfIt) {
  const std::string secret = "0123456789abcdef0123456789abcdef";
  struct Case {
    std::string text;
    std::string masked;
  };
  const std::vector<Case> cases = {
      {"add 1.2.3.4:7 MIT-MAGIC-COOKIE-1 " + secret + "\r\n",
       "add 1.2.3.4:7 MIT-MAGIC-COOKIE-1 " + std::string(32, '*') + "\r\n"},
      {"COOKIE-1 0123456789", "COOKIE-1 **********"},   // cut off where a chunk ends
      {"cdef\r\nxauth> ", "****\r\nxauth> "},           // where the next begins
      {"pid 4242 port 6007 cafe", "pid 4242 port 6007 cafe"},  // hex words that are not pieces of it
      {"abc", "abc"},                                        // too short to tell
      {"9901234567", "**********"},                          // glued to other hex digits
  };
  for (const Case& c : cases) EXPECT_EQ(MaskSecret(c.text, secret), c.masked) << c.text;
  EXPECT_EQ(MaskSecret("anything 0123", ""), "anything 0123") << "no secret: nothing masked";
}

}  // namespace
}  // namespace dovrel
