#include "ui/ssh_config_reader.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "session/ssh_config_ahead.h"

namespace dovrel {

SshConfigReader::SshConfigReader(QObject* parent)
    : QObject(parent), m_bell(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (m_bell < 0) return;
  m_notifier = new QSocketNotifier(static_cast<qintptr>(m_bell), QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &SshConfigReader::Deliver);
}

SshConfigReader::~SshConfigReader() {
  m_reader.reset();  // stops the reading and waits for its thread
  delete m_notifier;
  if (m_bell >= 0) ::close(m_bell);
}

void SshConfigReader::Start(const SessionSetup& setup, const std::string& hostName, int display,
                            const std::string& userName) {
  // Without its bell nothing could be handed over: the launch reads it then.
  if (m_bell < 0) return;
  m_reader = std::make_unique<SshConfigAheadReader>(
      setup, hostName, display, userName, [this](std::shared_ptr<const SshConfigAhead> config) {
        {
          const std::lock_guard lock(m_mutex);
          m_result = std::move(config);
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_bell, &one, sizeof one);
      });
}

void SshConfigReader::Deliver() {
  std::uint64_t rings = 0;
  [[maybe_unused]] const auto got = ::read(m_bell, &rings, sizeof rings);
  std::shared_ptr<const SshConfigAhead> config;
  {
    const std::lock_guard lock(m_mutex);
    config = std::move(m_result);
  }
  if (config) emit read(config);
}

}  // namespace dovrel
