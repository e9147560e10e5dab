#include "ui/form_layout.h"

#include <QFontDatabase>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace dovrel {

DialogUnits::DialogUnits(const QFontMetrics& metrics)
    : m_charWidth(metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                  52.0),
      m_charHeight(metrics.height()) {}

QFont FormFont() {
  const QString preferred = QStringLiteral("MS UI Gothic");
  QFont font = QFontDatabase::families().contains(preferred)
                   ? QFont(preferred)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(9);
  return font;
}

// Reads one of the form's own PNG pictures. Left to guess the format, the
// image reader loads every image format plugin installed to ask each of them
// (with the libraries behind them, about 3 ms of the form's start-up); the
// built-in PNG reader is all these pictures need.
QPixmap LoadPng(const QString& path) {
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);
  return QPixmap::fromImage(reader.read());
}

QLabel* AddLabel(QWidget* form, const QString& text, QRect place) {
  auto* label = new QLabel(form);
  // The host name from the command line is shown too: text, never markup.
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  // Never cut a label short where the font is wider than the form assumes.
  place.setWidth(std::max(place.width(), label->sizeHint().width()));
  label->setGeometry(place);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

// A field's accessible name is its label's text, which assistive technology
// reads through the label's buddy. Setting the name as well would gain
// nothing and would make the form wait for the accessibility bus before it
// appears rather than after.
QLineEdit* AddEdit(QWidget* form, const QRect& place) {
  auto* edit = new QLineEdit(form);
  edit->setGeometry(place);
  return edit;
}

}  // namespace dovrel
