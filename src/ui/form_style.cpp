#include "ui/form_style.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVBoxLayout>

namespace tallowmere::ui {

namespace {

// The panel behind a section's rows, drawn like a grouped list on the base colour.
class Panel : public QFrame {
  public:
    using QFrame::QFrame;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor border = palette().color(QPalette::WindowText);
        border.setAlphaF(0.12);
        painter.setPen(QPen(border, 1));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QPixmap drawnSymbol(CircleSymbol symbol, const QColor& color, int size, qreal scale) {
    QPixmap pixmap(QSize(size, size) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal stroke = size / 11.0;
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap));
    const QRectF circle = QRectF(0, 0, size, size).adjusted(stroke, stroke, -stroke, -stroke);
    painter.drawEllipse(circle);
    const QPointF c = circle.center();
    const qreal arm = circle.width() * 0.25;
    switch (symbol) {
        case CircleSymbol::plus:
            painter.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
            [[fallthrough]];
        case CircleSymbol::minus:
            painter.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
            break;
        case CircleSymbol::cross: {
            const qreal d = arm * 0.8;
            painter.drawLine(QPointF(c.x() - d, c.y() - d), QPointF(c.x() + d, c.y() + d));
            painter.drawLine(QPointF(c.x() - d, c.y() + d), QPointF(c.x() + d, c.y() - d));
            break;
        }
    }
    return pixmap;
}

}  // namespace

QFont captionFont(const QFont& base) {
    QFont font = base;
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * 0.85);
    } else {
        font.setPixelSize(std::max(8, base.pixelSize() * 85 / 100));
    }
    return font;
}

QColor secondaryTextColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55);
    return color;
}

QFont tabularDigitsFont(const QFont& base) {
    const QFontMetricsF metrics(base);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    bool equal = true;
    for (char digit = '1'; digit <= '9'; ++digit) {
        equal = equal && qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero);
    }
    if (equal) {
        return base;
    }
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (base.pointSizeF() > 0) {
        fixed.setPointSizeF(base.pointSizeF());
    }
    return fixed;
}

QIcon symbolIcon(const QString& themeName, CircleSymbol fallback, const QPalette& palette) {
    QIcon themed = QIcon::fromTheme(themeName);
    if (!themed.isNull()) {
        return themed;
    }
    QIcon drawn;
    const QColor color = palette.color(QPalette::WindowText);
    for (const qreal scale : {1.0, 2.0}) {
        drawn.addPixmap(drawnSymbol(fallback, color, 16, scale));
    }
    return drawn;
}

QLabel* makeValueBox(int width) {
    auto* box = new QLabel;
    box->setFixedWidth(width);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setFont(tabularDigitsFont(box->font()));
    return box;
}

FormSection::FormSection(const QString& header, QWidget* parent) : QWidget(parent) {
    outer_ = new QVBoxLayout(this);
    outer_->setContentsMargins(0, 0, 0, 0);
    outer_->setSpacing(6);

    auto* title = new QLabel(header);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setContentsMargins(4, 0, 0, 0);
    outer_->addWidget(title);

    auto* panel = new Panel;
    rows_ = new QVBoxLayout(panel);
    rows_->setContentsMargins(12, 10, 12, 10);
    rows_->setSpacing(10);
    outer_->addWidget(panel);
}

void FormSection::addRow(QWidget* row) {
    rows_->addWidget(row);
}

void FormSection::addRow(QLayout* row) {
    rows_->addLayout(row);
}

QWidget* FormSection::addLabelledRow(const QString& label, QWidget* control) {
    auto* controls = new QHBoxLayout;
    controls->addStretch();
    controls->addWidget(control);
    return addLabelledRow(label, controls);
}

QWidget* FormSection::addLabelledRow(const QString& label, QLayout* controls) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new QLabel(label), 0, Qt::AlignVCenter);
    layout->addLayout(controls, 1);
    rows_->addWidget(row);
    return row;
}

void FormSection::setFooter(const QString& text) {
    auto* footer = new QLabel(text);
    footer->setWordWrap(true);
    footer->setFont(captionFont(footer->font()));
    QPalette palette = footer->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(palette));
    footer->setPalette(palette);
    footer->setContentsMargins(4, 0, 4, 0);
    footer->setObjectName(QStringLiteral("footer"));
    outer_->addWidget(footer);
}

}  // namespace tallowmere::ui
