#include "session/telnet/telnet_channel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/secret/secret_bytes.h"
#include "session/telnet/telnet_protocol.h"

namespace dovrel {

namespace {

// Replies held back at most, so a flood of requests needs no more memory.
constexpr std::size_t kReplyBatch = 4096;

}  // namespace

TelnetChannel::TelnetChannel(int socket, const AbortSignal& abort, const Limits& limits, WaitClock& clock,
                             ChannelListener* listener)
    : m_socket(socket),
      m_abort(abort),
      m_clock(clock),
      m_readLimit(limits.readLimit),
      m_patience{clock.Now(), limits.ackLimit, limits.ackPoll},
      m_listener(listener) {}

TelnetChannel::Unit TelnetChannel::ReadUnit(std::chrono::milliseconds quiet,
                                            std::chrono::steady_clock::time_point deadline) {
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
        m_replies.insert(m_replies.end(), reply.Bytes().begin(), reply.Bytes().end());
        if (m_replies.size() >= kReplyBatch && !FlushReplies()) return {IoStatus::kFailed, *unit};
      } else if (unit->kind == TelnetUnit::Kind::kData && m_listener) {
        m_listener->Heard(unit->value);
      }
      return {IoStatus::kOk, *unit};
    }
    // A host may wait for the answers before it sends more.
    if (!FlushReplies()) return {IoStatus::kFailed, {}};
    if (m_listener) m_listener->PieceEnded();
    const RecvResult got =
        RecvWithTimeout(m_socket, m_buffer, m_abort, quiet, m_patience, m_clock, std::min(deadline, m_overallDeadline));
    m_lastReadStatus = got.status;
    // A quiet cut short by the whole step's limit is no quiet of the host's.
    if (got.status == IoStatus::kTimedOut && m_clock.Now() >= m_overallDeadline) {
      m_lastReadStatus = IoStatus::kOverLimit;
    }
    if (m_lastReadStatus != IoStatus::kOk) return {m_lastReadStatus, {}};
    m_next = 0;
    m_end = got.count;
  }
}

TelnetChannel::DataByte TelnetChannel::ReadDataByte(std::chrono::milliseconds quiet,
                                                    std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const Unit next = ReadUnit(quiet, deadline);
    if (next.status != IoStatus::kOk) return {next.status, 0};
    if (next.unit.kind == TelnetUnit::Kind::kData) return {IoStatus::kOk, next.unit.value};
  }
}

bool TelnetChannel::SendLine(std::span<const unsigned char> bytes, Echo echo) {
  if (m_listener) m_listener->Typed(bytes, echo == Echo::kSecret);
  if (!FlushReplies()) return false;
  // The data may be a password: the escaped copy is wiped when it goes.
  SecretBytes escaped(2 * bytes.size() + 1);  // no reallocation leaves a copy behind
  telnet::AppendEscaped(bytes, escaped.Edit());
  escaped.Edit().push_back('\n');
  return SendRaw(escaped.Bytes());
}

void TelnetChannel::Drain(std::size_t chunk, std::chrono::milliseconds quietLimit,
                            std::chrono::steady_clock::time_point deadline) {
  if (!FlushReplies()) return;
  m_unread.reset();
  m_next = m_end = 0;
  std::vector<unsigned char> sink(chunk);
  for (;;) {
    const RecvResult got = RecvWithTimeout(m_socket, sink, m_abort, quietLimit, m_patience, m_clock, deadline);
    if (got.status != IoStatus::kOk) return;
  }
}

bool TelnetChannel::FlushReplies() {
  if (m_replies.empty()) return true;
  const bool sent = SendRaw(m_replies);
  m_replies.clear();
  return sent;
}

bool TelnetChannel::SendRaw(std::span<const unsigned char> bytes) {
  // The host's patience for acknowledging runs from here.
  m_patience.lastSent = m_clock.Now();
  if (SendAll(m_socket, bytes, m_abort, m_readLimit, m_clock)) return true;
  m_sendError = errno;
  return false;
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
    // The option phase ends with every answer on its way.
    if (unit->kind == TelnetUnit::Kind::kData) return channel.FlushReplies();
  }
}

}  // namespace dovrel
