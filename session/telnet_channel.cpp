#include "telnet_channel.h"

#include <algorithm>
#include <vector>

#include "telnet_protocol.h"

namespace dovrel {

TelnetChannel::TelnetChannel(int socket, const AbortSignal& abort,
                             std::chrono::milliseconds readLimit)
    : m_socket(socket), m_abort(abort), m_readLimit(readLimit) {}

TelnetChannel::Unit TelnetChannel::ReadUnit(std::chrono::milliseconds limit) {
  if (m_unread) {
    const unsigned char byte = *m_unread;
    m_unread.reset();
    return {IoStatus::kOk, {TelnetUnit::Kind::kData, 0, byte}};
  }
  for (;;) {
    while (m_next < m_end) {
      const auto unit = m_reader.Feed(m_buffer[m_next++]);
      if (!unit) continue;
      if (unit->kind == TelnetUnit::Kind::kNegotiation) {
        const TelnetReply reply = m_options.Answer(unit->verb, unit->value);
        if (reply.size != 0 && !SendRaw(reply.Bytes())) return {IoStatus::kFailed, *unit};
      }
      return {IoStatus::kOk, *unit};
    }
    const RecvResult got = RecvWithTimeout(m_socket, m_buffer, m_abort, limit);
    if (got.status != IoStatus::kOk) return {got.status, {}};
    m_next = 0;
    m_end = got.count;
  }
}

TelnetChannel::DataByte TelnetChannel::ReadDataByte(std::chrono::milliseconds limit) {
  for (;;) {
    const Unit next = ReadUnit(limit);
    if (next.status != IoStatus::kOk) return {next.status, 0};
    if (next.unit.kind == TelnetUnit::Kind::kData) return {IoStatus::kOk, next.unit.value};
  }
}

bool TelnetChannel::SendData(std::span<const unsigned char> bytes) {
  std::vector<unsigned char> escaped;
  escaped.reserve(bytes.size() + 4);
  telnet::AppendEscaped(bytes, escaped);
  const bool sent = SendRaw(escaped);
  // The data may be a password: leave no copy behind in freed memory.
  std::fill(escaped.begin(), escaped.end(), static_cast<unsigned char>(0));
  return sent;
}

void TelnetChannel::Discard(std::size_t chunk, std::chrono::milliseconds quietLimit) {
  m_unread.reset();
  m_next = m_end = 0;
  std::vector<unsigned char> sink(chunk);
  for (;;) {
    const RecvResult got = RecvWithTimeout(m_socket, sink, m_abort, quietLimit);
    if (got.status != IoStatus::kOk) return;
  }
}

bool TelnetChannel::SendRaw(std::span<const unsigned char> bytes) {
  return SendAll(m_socket, bytes, m_abort, m_readLimit);
}

std::optional<TelnetUnit> ReadTelnetCommand(TelnetChannel& channel) {
  const TelnetChannel::Unit next = channel.ReadUnit(channel.ReadLimit());
  if (next.status != IoStatus::kOk) return std::nullopt;
  if (next.unit.kind == TelnetUnit::Kind::kData) channel.Unread(next.unit.value);
  return next.unit;
}

bool RefuseTelnetOptions(TelnetChannel& channel) {
  for (;;) {
    const auto unit = ReadTelnetCommand(channel);
    if (!unit) return false;
    if (unit->kind == TelnetUnit::Kind::kData) return true;
  }
}

}  // namespace dovrel
