#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "session/launch/session_request.h"

namespace dovrel {

class SshConfigAheadReader;

// Reads ssh's configuration for the form's host while the form is up, so
// that the form shows at once and the launch does not wait for it; hands
// what was read to the form's thread.
class SshConfigReader final : public QObject {
  Q_OBJECT
 public:
  explicit SshConfigReader(QObject* parent = nullptr);
  ~SshConfigReader() override;
  SshConfigReader(const SshConfigReader&) = delete;
  SshConfigReader& operator=(const SshConfigReader&) = delete;

  // Starts reading, for `userName` when one is given.
  void Start(const SessionSetup& setup, const std::string& hostName, int display, const std::string& userName);

 signals:
  // On the form's thread: what was read. Not emitted when ssh read nothing.
  void read(const std::shared_ptr<const dovrel::SshConfigAhead>& config);

 private:
  std::unique_ptr<SshConfigAheadReader> m_reader;
};

}  // namespace dovrel
