#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace dovrel {

// Positions in the form's own units: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height, so
// the layout keeps its proportions at any font size and screen density.
class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics);

  [[nodiscard]] QRect Rect(int left, int top, int width, int height) const {
    return {X(left), Y(top), X(width), Y(height)};
  }
  [[nodiscard]] int X(int units) const { return qRound(units * m_charWidth / 4.0); }
  [[nodiscard]] int Y(int units) const { return qRound(units * m_charHeight / 8.0); }

 private:
  double m_charWidth;
  double m_charHeight;
};

// The form's font: "MS UI Gothic" where installed, else the desktop's, 9 pt.
QFont FormFont();

// Reads one of the form's own PNG pictures with the built-in PNG reader.
QPixmap LoadPng(const QString& path);

// A label at `place`, never narrower than its text.
QLabel* AddLabel(QWidget* form, const QString& text, QRect place);

// A line edit at `place`.
QLineEdit* AddEdit(QWidget* form, const QRect& place);

}  // namespace dovrel
