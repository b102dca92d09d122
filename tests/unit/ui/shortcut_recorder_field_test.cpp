#include "ui/shortcut_recorder_field.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>
#include <map>

#include "platform/linux/qt/qt_local_key_monitor.h"
#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_preferences_store.h"

namespace tallowmere::ui {
namespace {

using linux_qt::QtLocalKeyMonitor;

// X keycodes (evdev + 8) of the keys used here, and what they type on a US layout.
constexpr int kXEscape = 9;
constexpr int kXT = 28;
constexpr int kXA = 38;
constexpr int kXK = 45;
constexpr int kXControl = 37;
const std::map<std::uint32_t, std::string> kUsLayout = {
    {kXEscape, "\x1b"}, {kXT, "t"}, {kXA, "a"}, {kXK, "k"}};

class ShortcutRecorderFieldTest : public ::testing::Test {
  protected:
    ShortcutRecorderFieldTest() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(editor);
        window.show();
        editor->setFocus();
    }

    // A press as the xcb platform delivers it, to the focused editor.
    void press(int qtKey, Qt::KeyboardModifiers modifiers, int xKeycode, QString text = {}) {
        QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, static_cast<quint32>(xKeycode), 0, 0,
                        text);
        QApplication::sendEvent(editor, &event);
    }

    QString keyBox() const { return field->findChild<QLabel*>("keyBox")->text(); }
    QPushButton* recordButton() const { return field->findChild<QPushButton*>("recordButton"); }
    QToolButton* clearButton() const { return field->findChild<QToolButton*>("clearButton"); }
    QLabel* errorLine() const { return field->findChild<QLabel*>("errorLine"); }
    void hideAndShowAgain() {
        window.hide();
        window.show();
        editor->setFocus();
    }

    sim::SimPreferencesStore store;
    AppSettings settings{store};
    sim::SimHotKeyService service;
    HotKeyCenter center{service};
    QtLocalKeyMonitor monitor{[](std::uint32_t keycode, std::uint32_t) {
        const auto found = kUsLayout.find(keycode);
        return found == kUsLayout.end() ? std::string() : found->second;
    }};
    sim::SimKeyboardGrab keyboard;
    QWidget window;
    ShortcutRecorderField* field = new ShortcutRecorderField(
        ShortcutBinding::manualRealign(settings), monitor, center, keyboard);
    // Where keys go when nothing swallows them.
    QLineEdit* editor = new QLineEdit;
};

// Each way out of a recording, from real key presses or the widgets: the field shows what is then
// stored, and keys reach the window again. Keys without a modifier, and modifiers alone, are
// swallowed while recording.
TEST_F(ShortcutRecorderFieldTest, EveryWayOutShowsWhatIsStoredAndFreesTheKeys) {
    const ShortcutSpec old{15, 0x1800, "⌃⌥R"};
    service.holdElsewhere(17, 0x1800);
    struct Way {
        const char* name;
        std::function<void()> act;
        std::optional<ShortcutSpec> stored;
        bool refused = false;  // the error line shows
    };
    const Way ways[] = {
        {"shift A", [&] { press(Qt::Key_A, Qt::ShiftModifier, kXA, "x"); },
         ShortcutSpec{0, 0x0200, "⇧A"}},
        {"control option command K",
         [&] {
             press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier, kXK, "x");
         },
         ShortcutSpec{40, 0x1900, "⌃⌥⌘K"}},
        {"Escape with command", [&] { press(Qt::Key_Escape, Qt::MetaModifier, kXEscape); }, old},
        {"a refused combination",
         [&] { press(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, kXT); }, old, true},
        {"the clear button", [&] { clearButton()->click(); }, std::nullopt},
        {"the window hiding", [&] { hideAndShowAgain(); }, old},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        settings.setManualRealignShortcut(old);
        editor->clear();
        recordButton()->click();
        EXPECT_TRUE(errorLine()->isHidden()) << "an earlier refusal's message outlived it";
        press(Qt::Key_A, Qt::NoModifier, kXA, "x");
        press(Qt::Key_Control, Qt::ControlModifier, kXControl);
        EXPECT_EQ(keyBox(), "キーを入力…");
        EXPECT_EQ(recordButton()->text(), "キャンセル");
        EXPECT_EQ(field->findChild<QLabel*>("keyBox")->toolTip(), "Escでキャンセル");
        way.act();
        EXPECT_EQ(editor->text(), "");
        EXPECT_EQ(recordButton()->text(), "記録...");
        EXPECT_EQ(keyBox(),
                  way.stored ? QString::fromStdString(way.stored->displayString) : "未設定");
        EXPECT_EQ(clearButton()->isHidden(), !way.stored);
        EXPECT_EQ(settings.manualRealignShortcut(), way.stored);
        EXPECT_EQ(errorLine()->isHidden(), !way.refused);
        if (way.refused) {
            EXPECT_EQ(errorLine()->text(),
                      "このキーの組み合わせは他のアプリと衝突しているため使用できません");
        }
        press(Qt::Key_A, Qt::ShiftModifier, kXA, "A");
        EXPECT_EQ(editor->text(), "A");
    }
}

}  // namespace
}  // namespace tallowmere::ui
