#include "ui/ssh_config_reader.h"

#include <QMetaObject>

#include "session/ssh_config_ahead.h"

namespace dovrel {

SshConfigReader::SshConfigReader(QObject* parent) : QObject(parent) {}

// The reader's thread has ended before this goes: nothing it posts can
// reach a destroyed object (a posted call still queued is dropped with it).
SshConfigReader::~SshConfigReader() = default;

void SshConfigReader::Start(const SessionSetup& setup, const std::string& hostName, int display,
                            const std::string& userName) {
  m_reader = std::make_unique<SshConfigAheadReader>(
      setup, hostName, display, userName, [this](std::shared_ptr<const SshConfigAhead> config) {
        QMetaObject::invokeMethod(
            this, [this, config = std::move(config)] { emit read(config); }, Qt::QueuedConnection);
      });
}

}  // namespace dovrel
