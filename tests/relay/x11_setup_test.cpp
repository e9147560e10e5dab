// The X11 connection-setup request as the relay reads and rewrites it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relay/x11_setup.h"

namespace dovrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A request as a client sends it: the header in its byte order, then the
// name and data padded to 4.
Bytes Request(char order, int major, const std::string& name, const Bytes& data) {
  const auto put16 = [order](Bytes& out, std::size_t value) {
    const auto high = static_cast<std::uint8_t>(value >> 8);
    const auto low = static_cast<std::uint8_t>(value & 0xFF);
    out.push_back(order == 'B' ? high : low);
    out.push_back(order == 'B' ? low : high);
  };
  Bytes out = {static_cast<std::uint8_t>(order), 0};
  put16(out, static_cast<std::size_t>(major));
  put16(out, 0);
  put16(out, name.size());
  put16(out, data.size());
  out.insert(out.end(), {0, 0});
  out.insert(out.end(), name.begin(), name.end());
  out.resize(12 + PaddedLength(name.size()), 0);
  out.insert(out.end(), data.begin(), data.end());
  out.resize(12 + PaddedLength(name.size()) + PaddedLength(data.size()), 0);
  return out;
}

struct SetupCase {
  const char* what;
  Bytes bytes;
  X11SetupReader::State state;
};

void PrintTo(const SetupCase& c, std::ostream* os) { *os << c.what; }

class SetupRequest : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupRequest, IsReadTheSameWholeOrByteByByte) {
  const SetupCase& c = GetParam();
  X11SetupReader whole;
  std::size_t used = 0;
  EXPECT_EQ(whole.Feed(c.bytes, used), c.state);
  X11SetupReader split;
  X11SetupReader::State state = X11SetupReader::State::kNeedMore;
  for (const std::uint8_t byte : c.bytes) {
    state = split.Feed({&byte, 1}, used);
    if (state != X11SetupReader::State::kNeedMore) break;
  }
  EXPECT_EQ(state, c.state);
}

const Bytes kCookie(16, 0xAB);

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupRequest,
    ::testing::Values(
        SetupCase{"little-endian, no authorisation", Request('l', 11, "", {}), X11SetupReader::State::kComplete},
        SetupCase{"big-endian with a cookie", Request('B', 11, "MIT-MAGIC-COOKIE-1", kCookie),
                  X11SetupReader::State::kComplete},
        SetupCase{"the longest name and data", Request('l', 11, std::string(64, 'n'), Bytes(256, 1)),
                  X11SetupReader::State::kComplete},
        SetupCase{"a header cut short", Bytes{'l', 0, 11, 0}, X11SetupReader::State::kNeedMore},
        SetupCase{"data cut short", [] {
                    Bytes b = Request('l', 11, "MIT-MAGIC-COOKIE-1", kCookie);
                    b.pop_back();
                    return b;
                  }(), X11SetupReader::State::kNeedMore},
        SetupCase{"an unknown byte order", Request('x', 11, "", {}), X11SetupReader::State::kMalformed},
        SetupCase{"HTTP", Bytes{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1'},
                  X11SetupReader::State::kMalformed},
        SetupCase{"protocol 10", Request('l', 10, "", {}), X11SetupReader::State::kMalformed},
        SetupCase{"a name too long", Request('B', 11, std::string(65, 'n'), {}), X11SetupReader::State::kMalformed},
        SetupCase{"data too long", Request('l', 11, "x", Bytes(257, 1)), X11SetupReader::State::kMalformed}));

TEST(SetupRequest, TheAuthorisationIsReplacedAndNothingElse) {
  for (const char order : {'l', 'B'}) {
    const Bytes sent = Request(order, 11, "XDM-AUTHORIZATION-1", Bytes(24, 7));
    Bytes stream = sent;
    stream.insert(stream.end(), {1, 2, 3});  // a request pipelined behind it
    X11SetupReader reader;
    std::size_t used = 0;
    ASSERT_EQ(reader.Feed(stream, used), X11SetupReader::State::kComplete);
    EXPECT_EQ(used, sent.size()) << "the pipelined request is left for the copy";
    EXPECT_EQ(reader.AuthName(), "XDM-AUTHORIZATION-1");
    const std::string name = "MIT-MAGIC-COOKIE-1";
    const auto bytes = [](const SecretBytes& secret) {
      return std::vector<std::uint8_t>(secret.Bytes().begin(), secret.Bytes().end());
    };
    EXPECT_EQ(bytes(reader.WithAuthorisation({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()},
                                             kCookie)),
              Request(order, 11, name, kCookie));
    EXPECT_EQ(bytes(reader.WithAuthorisation({}, {})), Request(order, 11, "", {})) << "no cookie: none at all";
  }
}

}  // namespace
}  // namespace dovrel
