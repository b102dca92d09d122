#include "ui/shortcut_recorder_field.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "ui/form_style.h"

namespace tallowmere::ui {

// The rounded box that shows the shortcut, tinted with the accent colour while recording.
class ShortcutRecorderField::KeyBox : public QLabel {
  public:
    KeyBox() {
        // Wider than the least allowed (120), so that the two fields' boxes line up for the
        // usual shortcuts whatever their text.
        setMinimumWidth(140);
        setContentsMargins(8, 4, 8, 4);
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    void setRecording(bool recording) {
        if (recording_ != recording) {
            recording_ = recording;
            update();
        }
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            QColor fill = recording_ ? palette().color(QPalette::Highlight) : QColor(Qt::gray);
            fill.setAlphaF(recording_ ? 0.15 : 0.1);
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawRoundedRect(QRectF(rect()), 6, 6);
        }
        QLabel::paintEvent(event);
    }

  private:
    bool recording_ = false;
};

ShortcutRecorderField::ShortcutRecorderField(ShortcutBinding binding, LocalKeyMonitor& monitor,
                                             HotKeyCenter& hotKeys, KeyboardGrab& keyboard,
                                             QWidget* parent)
    : QWidget(parent), recorder_(std::move(binding), monitor, hotKeys, keyboard) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    keyBox_ = new KeyBox;
    keyBox_->setObjectName(QStringLiteral("keyBox"));
    row->addWidget(keyBox_, 1, Qt::AlignVCenter);
    recordButton_ = new QPushButton;
    recordButton_->setObjectName(QStringLiteral("recordButton"));
    row->addWidget(recordButton_, 0, Qt::AlignVCenter);
    clearButton_ = new QToolButton;
    clearButton_->setObjectName(QStringLiteral("clearButton"));
    clearButton_->setAutoRaise(true);
    clearButton_->setIcon(symbolIcon(QStringLiteral("edit-clear"), CircleSymbol::cross, palette()));
    clearButton_->setToolTip(QStringLiteral("消去"));
    // Its place is kept while hidden, so that a field without a shortcut lines up with one that
    // has one.
    QSizePolicy keepPlace = clearButton_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    clearButton_->setSizePolicy(keepPlace);
    row->addWidget(clearButton_, 0, Qt::AlignVCenter);
    stack->addLayout(row);

    errorLine_ = new QLabel;
    errorLine_->setObjectName(QStringLiteral("errorLine"));
    errorLine_->setWordWrap(true);
    errorLine_->setFont(captionFont(errorLine_->font()));
    QPalette red = errorLine_->palette();
    red.setColor(QPalette::WindowText, QColor(0xd7, 0x26, 0x1e));
    errorLine_->setPalette(red);
    stack->addWidget(errorLine_);

    connect(recordButton_, &QPushButton::clicked, this, [this] { recorder_.toggle(); });
    connect(clearButton_, &QToolButton::clicked, this, [this] { recorder_.clear(); });
    recorder_.setChangeCallback([this] { refresh(); });
    refresh();
}

void ShortcutRecorderField::refresh() {
    keyBox_->setText(QString::fromStdString(recorder_.keyBoxText()));
    keyBox_->setRecording(recorder_.isRecording());
    QPalette palette = keyBox_->palette();
    const QPalette base = this->palette();
    palette.setColor(QPalette::WindowText, recorder_.keyBoxUsesPrimaryColor()
                                               ? base.color(QPalette::WindowText)
                                               : secondaryTextColor(base));
    keyBox_->setPalette(palette);
    const auto tip = recorder_.keyBoxToolTip();
    const QString oldTip = keyBox_->toolTip();
    keyBox_->setToolTip(tip ? QString::fromStdString(*tip) : QString());
    // A tooltip on screen keeps the text it was shown with: take it away with the recording.
    if (!tip && !oldTip.isEmpty() && QToolTip::isVisible() && QToolTip::text() == oldTip) {
        QToolTip::hideText();
    }

    recordButton_->setText(QString::fromStdString(recorder_.recordButtonTitle()));
    clearButton_->setVisible(recorder_.showsClearButton());
    const auto& error = recorder_.errorMessage();
    errorLine_->setText(error ? QString::fromStdString(*error) : QString());
    errorLine_->setVisible(error.has_value());
    if (trace_) {
        std::string shown = recorder_.keyBoxText();
        if (error) {
            shown += " / " + *error;
        }
        if (shown != traced_) {
            traced_ = shown;
            trace_(shown);
        }
    }
}

void ShortcutRecorderField::hideEvent(QHideEvent* event) {
    if (recorder_.isRecording()) {
        recorder_.fieldDisappeared();
    }
    QWidget::hideEvent(event);
}

}  // namespace tallowmere::ui
