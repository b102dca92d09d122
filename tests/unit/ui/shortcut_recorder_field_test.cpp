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

#include "platform/linux/x11_backend/qt_local_key_monitor.h"
#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_preferences_store.h"

namespace tallowmere::ui {
namespace {

using x11::QtLocalKeyMonitor;

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

TEST_F(ShortcutRecorderFieldTest, RecordsFromRealKeyPressesAndSwallowsThem) {
    struct Case {
        const char* name;
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        int xKeycode;
        std::optional<ShortcutSpec> stored;  // none: still recording
    };
    const Case cases[] = {
        {"A alone", Qt::Key_A, Qt::NoModifier, kXA, std::nullopt},
        {"Control alone", Qt::Key_Control, Qt::ControlModifier, kXControl, std::nullopt},
        {"shift A", Qt::Key_A, Qt::ShiftModifier, kXA, ShortcutSpec{0, 0x0200, "⇧A"}},
        {"control option command K", Qt::Key_K,
         Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier, kXK,
         ShortcutSpec{40, 0x1900, "⌃⌥⌘K"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings.setManualRealignShortcut(std::nullopt);
        recordButton()->click();
        press(c.qtKey, c.modifiers, c.xKeycode, c.qtKey == Qt::Key_Control ? "" : "x");
        EXPECT_EQ(editor->text(), "");
        EXPECT_EQ(settings.manualRealignShortcut(), c.stored);
        if (c.stored) {
            EXPECT_EQ(keyBox(), QString::fromStdString(c.stored->displayString));
            EXPECT_EQ(recordButton()->text(), "記録...");
            EXPECT_FALSE(clearButton()->isHidden());
        } else {
            EXPECT_EQ(keyBox(), "キーを入力…");
            EXPECT_EQ(recordButton()->text(), "キャンセル");
            EXPECT_EQ(field->findChild<QLabel*>("keyBox")->toolTip(), "Escでキャンセル");
            recordButton()->click();
        }
    }
    // Idle again: keys reach the window.
    press(Qt::Key_A, Qt::NoModifier, kXA, "a");
    EXPECT_EQ(editor->text(), "a");
}

// Each way out of a recording, through the widgets: the field shows what is then stored and keys
// reach the window again.
TEST_F(ShortcutRecorderFieldTest, EveryWayOutShowsWhatIsStoredAndFreesTheKeys) {
    const ShortcutSpec old{15, 0x1800, "⌃⌥R"};
    service.holdElsewhere(17, 0x1800);
    struct Way {
        const char* name;
        std::function<void()> leave;
        bool kept;     // else cleared
        bool refused;  // the error line shows
    };
    const Way ways[] = {
        {"Escape with command", [&] { press(Qt::Key_Escape, Qt::MetaModifier, kXEscape); }, true,
         false},
        {"a refused combination",
         [&] { press(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, kXT); }, true, true},
        {"the clear button", [&] { clearButton()->click(); }, false, false},
        {"the window hiding",
         [&] {
             window.hide();
             window.show();
             editor->setFocus();
         },
         true, false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        settings.setManualRealignShortcut(old);
        editor->clear();
        recordButton()->click();
        EXPECT_TRUE(errorLine()->isHidden()) << "an earlier refusal's message outlived it";
        EXPECT_EQ(keyBox(), "キーを入力…");
        way.leave();
        EXPECT_EQ(recordButton()->text(), "記録...");
        EXPECT_EQ(keyBox(), way.kept ? "⌃⌥R" : "未設定");
        EXPECT_EQ(clearButton()->isHidden(), !way.kept);
        EXPECT_EQ(settings.manualRealignShortcut(), way.kept ? std::optional(old) : std::nullopt);
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
