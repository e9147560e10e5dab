#include "session_bridge.h"

#include <QCoreApplication>

#include <QMetaObject>

#include <cstdio>
#include <initializer_list>

#include "launcher_dlg.h"

namespace dovrel {

namespace {

// The form's slots the bridge calls by name, with the arguments it passes.
struct Slot {
  const char* name;
  const char* signature;
};
constexpr Slot kMessageSlot{"OnSessionMessage", "OnSessionMessage(int,QString,qulonglong)"};
constexpr Slot kCloseSlot{"reject", "reject()"};

}  // namespace

void SessionBridge::RequireSlots(const QObject& form) {
  const QMetaObject& meta = *form.metaObject();
  for (const Slot& slot : {kMessageSlot, kCloseSlot}) {
    if (meta.indexOfMethod(slot.signature) < 0) qFatal("the form has no slot %s", slot.signature);
  }
}

SessionBridge::SessionBridge(CLauncherDlg* dialog) : m_dialog(dialog) { RequireSlots(*dialog); }

void SessionBridge::ShowMessage(SessionMessage message, const std::string& text) {
  std::unique_lock lock(m_mutex);
  if (m_dialog == nullptr) return;
  const std::uint64_t ticket = ++m_boxesAsked;
  // Detach() takes the mutex before the form is destroyed, so the form is
  // alive while the call is queued; Qt drops it if the form dies first.
  QMetaObject::invokeMethod(m_dialog, kMessageSlot.name, Qt::QueuedConnection,
                            Q_ARG(int, static_cast<int>(message)), Q_ARG(QString, QString::fromStdString(text)),
                            Q_ARG(qulonglong, ticket));
  m_changed.wait(lock, [&] { return m_dialog == nullptr || m_boxesDone >= ticket; });
}

void SessionBridge::PhaseChanged(SessionPhase phase) { m_phase.store(phase); }

std::string SessionBridge::Translate(const char* context, const char* source) const {
  // The translators are installed before any worker starts, and only read.
  return QCoreApplication::translate(context, source).toStdString();
}

void SessionBridge::Report(const std::string& line) {
  // One write per line: lines of two threads never interleave.
  std::fprintf(stderr, "%s\n", line.c_str());
}

void SessionBridge::RequestClose() {
  const std::lock_guard lock(m_mutex);
  if (m_dialog == nullptr) return;
  QMetaObject::invokeMethod(m_dialog, kCloseSlot.name, Qt::QueuedConnection);
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
