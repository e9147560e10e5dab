#include "session/telnet/option_refuser.h"

#include "session/telnet/telnet_protocol.h"

namespace dovrel {

using namespace telnet;

namespace {

TelnetReply Reply(unsigned char verb, unsigned char option) {
  return TelnetReply{{kIac, verb, option}, 3};
}

bool AcceptsLocally(unsigned char option) { return option == kTransmitBinary; }

}  // namespace

TelnetReply OptionRefuser::Answer(unsigned char verb, unsigned char option) {
  switch (verb) {
    case kWill:
      // The host offers to perform an option: always declined. A repeated
      // offer is a new request (the host's side is still off), so it gets a
      // new refusal.
      return Reply(kDont, option);
    case kWont:
      // The host's options are never on, so this changes nothing.
      return {};
    case kDo:
      if (!AcceptsLocally(option)) return Reply(kWont, option);
      if (m_local.test(option)) return {};
      m_local.set(option);
      return Reply(kWill, option);
    case kDont:
      if (!m_local.test(option)) return {};
      m_local.reset(option);
      return Reply(kWont, option);
    default:
      return {};
  }
}

}  // namespace dovrel
