// The telnet reader and the option answers on any bytes a host may send:
// replies are well formed and follow the no-loop rules, and the data bytes and
// option requests agree with libtelnet's reading of the same bytes.
//
// Documented differences, where the comparison stops: libtelnet reports an
// error or warning (a sub-negotiation longer than its buffer, which this
// reader skips whole however long it is), and a sub-negotiation of option 86
// (MCCP2), after which libtelnet inflates the rest; this client never agrees
// to compression.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "session/telnet/option_refuser.h"
#include "session/telnet/telnet_protocol.h"
#include "session/telnet/telnet_reader.h"

#if DOVREL_HAVE_LIBTELNET
#include <libtelnet.h>
#endif

namespace {

using namespace dovrel;

struct Reading {
  std::string data;
  std::vector<std::pair<unsigned char, unsigned char>> requests;  // verb, option
  bool comparable = true;
};

bool IsNegotiationVerb(unsigned char verb) {
  return verb == telnet::kWill || verb == telnet::kWont || verb == telnet::kDo || verb == telnet::kDont;
}

Reading OurReading(const std::uint8_t* bytes, std::size_t size) {
  TelnetReader reader;
  OptionRefuser options;
  // The options this client performs, as its own answers tell: WILL turns
  // one on, WONT off.
  std::bitset<256> local;
  Reading out;
  for (std::size_t i = 0; i < size; ++i) {
    const auto unit = reader.Feed(bytes[i]);
    if (!unit) continue;
    switch (unit->kind) {
      case TelnetUnit::Kind::kData:
        out.data.push_back(static_cast<char>(unit->value));
        break;
      case TelnetUnit::Kind::kNegotiation: {
        FUZZ_CHECK(IsNegotiationVerb(unit->verb));
        out.requests.emplace_back(unit->verb, unit->value);
        const bool wasOn = local.test(unit->value);
        const TelnetReply reply = options.Answer(unit->verb, unit->value);
        if (reply.size == 3 && reply.bytes[1] == telnet::kWill) local.set(unit->value);
        if (reply.size == 3 && reply.bytes[1] == telnet::kWont) local.reset(unit->value);
        FUZZ_CHECK(reply.size == 0 || reply.size == 3);
        if (reply.size == 3) {
          FUZZ_CHECK(reply.bytes[0] == telnet::kIac && reply.bytes[2] == unit->value);
          FUZZ_CHECK(IsNegotiationVerb(reply.bytes[1]));
        }
        // No acknowledgement loops: a WONT never gets an answer, a DONT only
        // when it turns off an option this client had agreed to.
        if (unit->verb == telnet::kWont) FUZZ_CHECK(reply.size == 0);
        if (unit->verb == telnet::kDont) FUZZ_CHECK((reply.size == 3) == wasOn);
        if (unit->verb == telnet::kWill) FUZZ_CHECK(reply.size == 3 && reply.bytes[1] == telnet::kDont);
        // Only TRANSMIT-BINARY is ever agreed to.
        if (reply.size == 3 && reply.bytes[1] == telnet::kWill) {
          FUZZ_CHECK(unit->value == telnet::kTransmitBinary);
        }
        break;
      }
      case TelnetUnit::Kind::kSubnegotiation:
        if (unit->value == 86) return out;  // see the note at the top
        break;
      case TelnetUnit::Kind::kCommand:
        FUZZ_CHECK(!IsNegotiationVerb(unit->verb) && unit->verb != telnet::kSb && unit->verb != telnet::kIac);
        break;
    }
  }
  return out;
}

#if DOVREL_HAVE_LIBTELNET
void OnLibtelnetEvent(telnet_t*, telnet_event_t* event, void* context) {
  auto* out = static_cast<Reading*>(context);
  switch (event->type) {
    case TELNET_EV_DATA:
      out->data.append(event->data.buffer, event->data.size);
      break;
    case TELNET_EV_WILL:
      out->requests.emplace_back(telnet::kWill, event->neg.telopt);
      break;
    case TELNET_EV_WONT:
      out->requests.emplace_back(telnet::kWont, event->neg.telopt);
      break;
    case TELNET_EV_DO:
      out->requests.emplace_back(telnet::kDo, event->neg.telopt);
      break;
    case TELNET_EV_DONT:
      out->requests.emplace_back(telnet::kDont, event->neg.telopt);
      break;
    case TELNET_EV_ERROR:
    case TELNET_EV_WARNING:
      out->comparable = false;
      break;
    default:
      break;
  }
}

Reading LibtelnetReading(const std::uint8_t* bytes, std::size_t size) {
  Reading out;
  // As a proxy libtelnet reports every request instead of answering some
  // itself, which is what is compared here.
  static const telnet_telopt_t kNoOptions[] = {{-1, 0, 0}};
  telnet_t* parser = telnet_init(kNoOptions, OnLibtelnetEvent, TELNET_FLAG_PROXY, &out);
  // Stop where this reader stops: at a compression sub-negotiation.
  std::size_t end = size;
  {
    TelnetReader reader;
    for (std::size_t i = 0; i < size; ++i) {
      const auto unit = reader.Feed(bytes[i]);
      if (unit && unit->kind == TelnetUnit::Kind::kSubnegotiation && unit->value == 86) {
        end = i + 1;
        out.comparable = false;
        break;
      }
    }
  }
  telnet_recv(parser, reinterpret_cast<const char*>(bytes), end);
  telnet_free(parser);
  return out;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const Reading ours = OurReading(bytes, size);
#if DOVREL_HAVE_LIBTELNET
  const Reading theirs = LibtelnetReading(bytes, size);
  if (theirs.comparable) {
    FUZZ_CHECK(ours.data == theirs.data);
    FUZZ_CHECK(ours.requests == theirs.requests);
  }
#endif
  return 0;
}
