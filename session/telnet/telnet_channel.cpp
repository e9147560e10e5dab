#include "session/telnet/telnet_channel.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/secret/secret_bytes.h"
#include "session/telnet/telnet_protocol.h"

namespace dovrel {

namespace {

// Replies held back at most, so a flood of requests needs no more memory.
constexpr std::size_t kReplyBatch = 4096;
// The host's text kept for the reports.
constexpr std::size_t kHeardLimit = 4096;
constexpr std::size_t kLastHeardLimit = 256;

// Keeps at least the latest `limit` bytes, trimming only now and then.
void KeepLatest(std::string& text, std::size_t limit) {
  if (text.size() > 2 * limit) text.erase(0, text.size() - limit);
}

std::string Latest(const std::string& text, std::size_t limit) {
  return text.size() > limit ? text.substr(text.size() - limit) : text;
}

}  // namespace

TelnetChannel::TelnetChannel(int socket, const AbortSignal& abort, const Limits& limits, WaitClock& clock)
    : m_socket(socket),
      m_abort(abort),
      m_clock(clock),
      m_readLimit(limits.readLimit),
      m_patience{clock.Now(), limits.ackLimit, limits.ackPoll} {}

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
      } else if (unit->kind == TelnetUnit::Kind::kData) {
        Heard(unit->value);
      }
      return {IoStatus::kOk, *unit};
    }
    // A host may wait for the answers before it sends more.
    if (!FlushReplies()) return {IoStatus::kFailed, {}};
    if (m_heardSink && !m_heard.empty()) m_heardSink(TakeHeard());
    const RecvResult got = RecvWithTimeout(m_socket, m_buffer, m_abort, quiet, m_patience, m_clock, deadline);
    m_lastReadStatus = got.status;
    if (got.status != IoStatus::kOk) return {got.status, {}};
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
  if (m_typedSink) {
    m_typedSink(echo == Echo::kSecret
                    ? std::string_view("********")
                    : std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  if (!FlushReplies()) return false;
  // The data may be a password: the escaped copy is wiped when it goes.
  SecretBytes escaped(2 * bytes.size() + 1);  // no reallocation leaves a copy behind
  telnet::AppendEscaped(bytes, escaped.Edit());
  escaped.Edit().push_back('\n');
  return SendRaw(escaped.Bytes());
}

void TelnetChannel::Discard(std::size_t chunk, std::chrono::milliseconds quietLimit,
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

void TelnetChannel::Heard(unsigned char byte) {
  m_heard.push_back(static_cast<char>(byte));
  m_lastHeard.push_back(static_cast<char>(byte));
  KeepLatest(m_heard, kHeardLimit);
  KeepLatest(m_lastHeard, kLastHeardLimit);
}

std::string TelnetChannel::TakeHeard() {
  std::string heard = Latest(m_heard, kHeardLimit);
  m_heard.clear();
  return heard;
}

std::string TelnetChannel::LastHeard() const { return Latest(m_lastHeard, kLastHeardLimit); }

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
