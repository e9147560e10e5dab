#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

class QWidget;

namespace dovrel {

// Shows a modal box with the program's caption and waits until it is
// dismissed. Its text is shown as written, never read as markup: it may
// quote the host or the command line, and Qt's rich text would load the
// files an <img> names.
void ShowMessageBox(QMessageBox::Icon icon, const QString& text, QWidget* owner);

// Asks whether to go on, with `yes` ("Connect", "Start xterm") and
// "Cancel"; Cancel is the default, and Escape and the close box cancel.
// True for `yes`. While it is up, `open` points at the box, so that its
// owner can close it (as Cancel) when the question no longer stands.
bool AskToGoOn(const QString& text, const QString& yes, QWidget* owner, QPointer<QMessageBox>& open);

}  // namespace dovrel
