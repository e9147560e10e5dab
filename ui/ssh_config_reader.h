#pragma once

#include <QObject>

#include <memory>
#include <mutex>
#include <string>

#include "session/launch/session_request.h"

class QSocketNotifier;

namespace dovrel {

class SshConfigAheadReader;

// Reads ssh's configuration for the form's host while the form is up, so
// that the form shows at once and the launch does not wait for it. As with
// the worker, the reading thread touches no Qt object: it leaves what it
// read under a mutex and rings an eventfd, which a socket notifier watches
// on the form's thread.
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
  void Deliver();

  int m_bell = -1;
  QSocketNotifier* m_notifier = nullptr;
  std::mutex m_mutex;
  std::shared_ptr<const SshConfigAhead> m_result;
  // Last: its thread ends before the rest goes.
  std::unique_ptr<SshConfigAheadReader> m_reader;
};

}  // namespace dovrel
