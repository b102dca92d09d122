// The look of the grouped settings form: sections of rows on rounded panels, labelled rows, the
// caption and secondary-text styles, equal-width digits and the circle symbols of the buttons.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QString>

class QLabel;
class QLayout;
class QVBoxLayout;

namespace tallowmere::ui {

QFont captionFont(const QFont& base);
QColor secondaryTextColor(const QPalette& palette);
// `base` when its digits already share one width, else the fixed-pitch system font at its size.
QFont tabularDigitsFont(const QFont& base);

enum class CircleSymbol { minus, plus, cross };
// The theme's icon when there is one, else the symbol drawn in the palette's text colour.
QIcon symbolIcon(const QString& themeName, CircleSymbol fallback, const QPalette& palette);

// A value box of a slider row: fixed width, right-aligned, equal-width digits.
QLabel* makeValueBox(int width);

// One section of the form: a header, a rounded panel holding the rows, an optional footer.
class FormSection : public QWidget {
  public:
    FormSection(const QString& header, QWidget* parent);

    void addRow(QWidget* row);
    void addRow(QLayout* row);
    // The label on the left, the control on the right; returns the row, to show or hide it.
    QWidget* addLabelledRow(const QString& label, QWidget* control);
    QWidget* addLabelledRow(const QString& label, QLayout* controls);
    void setFooter(const QString& text);

  private:
    QVBoxLayout* rows_;
    QVBoxLayout* outer_;
};

}  // namespace tallowmere::ui
