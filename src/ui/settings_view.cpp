#include "ui/settings_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "shortcuts/shortcut_recorder.h"
#include "ui/form_style.h"
#include "ui/shortcut_recorder_field.h"

namespace tallowmere::ui {

namespace {

constexpr double kMaxSpacing = 100.0;
constexpr double kMinDuration = 0.05;
constexpr double kMaxDuration = 1.0;

// The slider position for a stored value; a value outside the range (or not a number) sits at
// the nearer end without being changed in the settings.
int sliderSteps(double value, double min, double max, int stepsPerUnit) {
    if (!(value > min)) {
        return static_cast<int>(std::lround(min * stepsPerUnit));
    }
    return static_cast<int>(std::lround(std::min(value, max) * stepsPerUnit));
}

// Truncated toward zero, as whole points; "-0" never shows.
QString spacingText(double spacing) {
    const double whole = std::trunc(spacing) + 0.0;
    return QString::number(whole, 'f', 0) + QStringLiteral(" pt");
}

QSlider* makeSlider(double min, double max, int stepsPerUnit) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(static_cast<int>(std::lround(min * stepsPerUnit)),
                     static_cast<int>(std::lround(max * stepsPerUnit)));
    // Arrow keys move by a hundredth of the range, page keys by a tenth.
    slider->setSingleStep(std::max(1, slider->maximum() - slider->minimum()) / 100);
    slider->setPageStep(std::max(1, slider->maximum() - slider->minimum()) / 10);
    return slider;
}

QHBoxLayout* sliderWithValue(QSlider* slider, QLabel* value) {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(8);
    layout->addWidget(slider, 1);
    layout->addWidget(value);
    return layout;
}

}  // namespace

SettingsView::SettingsView(AppSettings& settings, SettingsViewPorts ports, QWidget* parent)
    : QScrollArea(parent), settings_(settings) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setMinimumWidth(kFormWidth);

    auto* form = new QWidget;
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(18);

    auto* apps = new FormSection(QStringLiteral("対象アプリ"), form);
    apps_ = new MonitoredAppsSection(settings_, std::move(ports.apps), apps);
    apps->addRow(apps_);
    layout->addWidget(apps);
    buildArrangementSection(form);
    buildAnimationSection(form);
    buildShortcutSection(form, ports);
    layout->addStretch(1);
    setWidget(form);

    willChange_ = settings_.subscribeWillChange([this] { scheduleRefresh(); });
    refresh();
}

void SettingsView::buildArrangementSection(QWidget* form) {
    auto* section = new FormSection(QStringLiteral("配置"), form);
    spacing_ = makeSlider(0, kMaxSpacing, kSpacingStepsPerPoint);
    spacing_->setObjectName(QStringLiteral("windowSpacingMargin"));
    spacingText_ = makeValueBox(50);
    spacingText_->setObjectName(QStringLiteral("windowSpacingMarginText"));
    section->addLabelledRow(QStringLiteral("ウィンドウ間隔"),
                            sliderWithValue(spacing_, spacingText_));
    connect(spacing_, &QSlider::valueChanged, this, [this](int steps) {
        settings_.setWindowSpacingMargin(static_cast<double>(steps) / kSpacingStepsPerPoint);
    });

    openOnRight_ = new QCheckBox(QStringLiteral("新規ウィンドウを常に右に開く"));
    openOnRight_->setObjectName(QStringLiteral("alwaysOpenNewWindowOnRight"));
    section->addRow(openOnRight_);
    connect(openOnRight_, &QCheckBox::toggled, this,
            [this](bool on) { settings_.setAlwaysOpenNewWindowOnRight(on); });

    anchor_ = new QComboBox;
    anchor_->setObjectName(QStringLiteral("alignmentAnchor"));
    anchor_->addItem(QStringLiteral("ウィンドウ群の重心"));
    anchor_->addItem(QStringLiteral("画面中央"));
    section->addLabelledRow(QStringLiteral("整列の基準（横方向）"), anchor_);
    connect(anchor_, &QComboBox::currentIndexChanged, this, [this](int index) {
        settings_.setAlignmentAnchor(index == 1 ? AlignmentAnchor::screenCenter
                                                : AlignmentAnchor::windowCentroid);
    });
    form->layout()->addWidget(section);
}

void SettingsView::buildAnimationSection(QWidget* form) {
    auto* section = new FormSection(QStringLiteral("アニメーション"), form);
    easing_ = new QComboBox;
    easing_->setObjectName(QStringLiteral("animationEasing"));
    for (const EasingFunction easing : kAllEasingFunctions) {
        const std::string_view name = displayName(easing);
        easing_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
    section->addLabelledRow(QStringLiteral("種類"), easing_);
    connect(easing_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(kAllEasingFunctions.size())) {
            settings_.setAnimationEasing(kAllEasingFunctions[static_cast<std::size_t>(index)]);
        }
    });

    duration_ = makeSlider(kMinDuration, kMaxDuration, kDurationStepsPerSecond);
    duration_->setObjectName(QStringLiteral("animationDuration"));
    durationText_ = makeValueBox(60);
    durationText_->setObjectName(QStringLiteral("animationDurationText"));
    durationRow_ =
        section->addLabelledRow(QStringLiteral("時間"), sliderWithValue(duration_, durationText_));
    durationRow_->setObjectName(QStringLiteral("animationDurationRow"));
    connect(duration_, &QSlider::valueChanged, this, [this](int steps) {
        settings_.setAnimationDuration(static_cast<double>(steps) / kDurationStepsPerSecond);
    });

    flash_ = new QCheckBox(QStringLiteral("移動先に枠線を表示（既存=緑、新規=赤）"));
    flash_->setObjectName(QStringLiteral("showFlashOverlay"));
    section->addRow(flash_);
    connect(flash_, &QCheckBox::toggled, this,
            [this](bool on) { settings_.setShowFlashOverlay(on); });
    form->layout()->addWidget(section);
}

void SettingsView::buildShortcutSection(QWidget* form, SettingsViewPorts& ports) {
    auto* section = new FormSection(QStringLiteral("ショートカット"), form);
    realignField_ = new ShortcutRecorderField(ShortcutBinding::manualRealign(settings_),
                                              ports.keyMonitor, ports.hotKeys, ports.keyboardGrab);
    realignField_->setTrace(ports.shortcutTrace);
    realignField_->setObjectName(QStringLiteral("manualRealignShortcut"));
    section->addLabelledRow(QStringLiteral("再整頓"), realignField_);
    centerRealignField_ =
        new ShortcutRecorderField(ShortcutBinding::manualCenterRealign(settings_), ports.keyMonitor,
                                  ports.hotKeys, ports.keyboardGrab);
    centerRealignField_->setTrace(ports.shortcutTrace);
    centerRealignField_->setObjectName(QStringLiteral("manualCenterRealignShortcut"));
    section->addLabelledRow(QStringLiteral("中央に再整頓"), centerRealignField_);
    section->setFooter(QStringLiteral(
        "設定すると、監視対象アプリが最前面の状態でこのキーを押すだけで、いつでも手動でウィンドウを"
        "整列し直せます。「中央に再整頓」は整列の基準の設定に関わらず画面中央に揃えます。"));
    form->layout()->addWidget(section);
}

QSize SettingsView::sizeHint() const {
    // A scroll area's own hint is capped at a couple of dozen lines; the form's whole height is
    // wanted here, the window caps it to the screen.
    const QSize form = widget() ? widget()->sizeHint() : QSize();
    return {std::max(kFormWidth, form.width()), form.height()};
}

void SettingsView::scheduleRefresh() {
    // The will-change signal comes before the value is stored: read it once the change is done.
    if (refreshPending_) {
        return;
    }
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshPending_ = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void SettingsView::refresh() {
    apps_->refresh();
    {
        const QSignalBlocker block(spacing_);
        spacing_->setValue(
            sliderSteps(settings_.windowSpacingMargin(), 0, kMaxSpacing, kSpacingStepsPerPoint));
    }
    spacingText_->setText(spacingText(settings_.windowSpacingMargin()));
    {
        const QSignalBlocker block(openOnRight_);
        openOnRight_->setChecked(settings_.alwaysOpenNewWindowOnRight());
    }
    {
        const QSignalBlocker block(anchor_);
        anchor_->setCurrentIndex(settings_.alignmentAnchor() == AlignmentAnchor::screenCenter);
    }
    const EasingFunction easing = settings_.animationEasing();
    {
        const QSignalBlocker block(easing_);
        const auto found =
            std::find(kAllEasingFunctions.begin(), kAllEasingFunctions.end(), easing);
        easing_->setCurrentIndex(static_cast<int>(found - kAllEasingFunctions.begin()));
    }
    durationRow_->setVisible(easing != EasingFunction::none);
    {
        const QSignalBlocker block(duration_);
        duration_->setValue(sliderSteps(settings_.animationDuration(), kMinDuration, kMaxDuration,
                                        kDurationStepsPerSecond));
    }
    durationText_->setText(QString::asprintf("%.2f", settings_.animationDuration()) +
                           QStringLiteral("秒"));
    {
        const QSignalBlocker block(flash_);
        flash_->setChecked(settings_.showFlashOverlay());
    }
    realignField_->refresh();
    centerRealignField_->refresh();
}

}  // namespace tallowmere::ui
