#include "session/telnet/telnet_reader.h"

#include "session/telnet/telnet_protocol.h"

namespace dovrel {

using namespace telnet;

std::optional<TelnetUnit> TelnetReader::Feed(unsigned char byte) {
  switch (m_state) {
    case State::kData:
      if (byte == kIac) {
        m_state = State::kIac;
        return std::nullopt;
      }
      return TelnetUnit{TelnetUnit::Kind::kData, 0, byte};

    case State::kIac:
      return AfterIac(byte);

    case State::kNegotiation:
      m_state = State::kData;
      return TelnetUnit{TelnetUnit::Kind::kNegotiation, m_verb, byte};

    case State::kSbOption:
      m_sbOption = byte;
      m_state = State::kSbData;
      return std::nullopt;

    case State::kSbData:
      // The payload is of no use to this client and is dropped as it comes.
      if (byte == kIac) m_state = State::kSbIac;
      return std::nullopt;

    case State::kSbIac:
      if (byte == kSe) {
        m_state = State::kData;
        return TelnetUnit{TelnetUnit::Kind::kSubnegotiation, kSb, m_sbOption};
      }
      if (byte == kIac) {  // an escaped 255 inside the payload
        m_state = State::kSbData;
        return std::nullopt;
      }
      // Any other command ends a malformed sub-negotiation; the byte is then
      // read as the command it names, so the stream resynchronises at once.
      return AfterIac(byte);
  }
  return std::nullopt;
}

std::optional<TelnetUnit> TelnetReader::AfterIac(unsigned char byte) {
  switch (byte) {
    case kIac:
      m_state = State::kData;
      return TelnetUnit{TelnetUnit::Kind::kData, 0, kIac};
    case kWill:
    case kWont:
    case kDo:
    case kDont:
      m_verb = byte;
      m_state = State::kNegotiation;
      return std::nullopt;
    case kSb:
      m_state = State::kSbOption;
      return std::nullopt;
    default:
      // NOP, GA, SE and every other command are two bytes long.
      m_state = State::kData;
      return TelnetUnit{TelnetUnit::Kind::kCommand, byte, 0};
  }
}

}  // namespace dovrel
