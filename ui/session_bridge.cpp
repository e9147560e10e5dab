#include "session_bridge.h"

#include <QMetaObject>

#include "launcher_dlg.h"

namespace dovrel {

SessionBridge::SessionBridge(CLauncherDlg* dialog) : m_dialog(dialog) {}

void SessionBridge::ShowMessage(SessionMessage message) {
  std::unique_lock lock(m_mutex);
  if (m_dialog == nullptr) return;
  const std::uint64_t ticket = ++m_boxesAsked;
  // Detach() takes the mutex before the form is destroyed, so the form is
  // alive while the call is queued; Qt drops it if the form dies first.
  QMetaObject::invokeMethod(m_dialog, "OnSessionMessage", Qt::QueuedConnection,
                            Q_ARG(int, static_cast<int>(message)), Q_ARG(qulonglong, ticket));
  m_changed.wait(lock, [&] { return m_dialog == nullptr || m_boxesDone >= ticket; });
}

void SessionBridge::RequestClose() {
  const std::lock_guard lock(m_mutex);
  if (m_dialog == nullptr) return;
  QMetaObject::invokeMethod(m_dialog, "reject", Qt::QueuedConnection);
}

void SessionBridge::Detach() {
  const std::lock_guard lock(m_mutex);
  m_dialog = nullptr;
  m_changed.notify_all();
}

void SessionBridge::BoxDismissed(std::uint64_t ticket) {
  const std::lock_guard lock(m_mutex);
  if (ticket > m_boxesDone) m_boxesDone = ticket;
  m_changed.notify_all();
}

}  // namespace dovrel
