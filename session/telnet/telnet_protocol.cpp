#include "session/telnet/telnet_protocol.h"

namespace dovrel::telnet {

void AppendEscaped(std::span<const unsigned char> data, std::vector<unsigned char>& out) {
  for (const unsigned char byte : data) {
    out.push_back(byte);
    if (byte == kIac) out.push_back(kIac);
  }
}

}  // namespace dovrel::telnet
