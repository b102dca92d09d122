#include "ui/shortcut_recorder_field.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <map>

#include "platform/linux/qt/qt_local_key_monitor.h"
#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_preferences_store.h"

namespace tallowmere::ui {
namespace {

using linux_qt::QtLocalKeyMonitor;

// X keycodes (evdev + 8) of the keys used here, and what they type on a US layout.
enum XKey : int { kXEscape = 9, kXControl = 37, kXT = 28, kXA = 38, kXK = 45 };
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
    template <typename T>
    T* child(const char* name) const {
        return field->findChild<T*>(name);
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

// Recording from real key presses and the field's widgets; the recorder's own rules are tested
// without Qt. Keys without a modifier, and modifiers alone, are swallowed while recording.
TEST_F(ShortcutRecorderFieldTest, RecordsFromQtKeyEventsAndShowsWhatIsStored) {
    const auto* keyBox = child<QLabel>("keyBox");
    auto* recordButton = child<QPushButton>("recordButton");
    const auto* errorLine = child<QLabel>("errorLine");
    const auto expectIdle = [&](const char* shown) {
        EXPECT_EQ(keyBox->text(), shown);
        EXPECT_EQ(recordButton->text(), "記録...");
        EXPECT_EQ(child<QToolButton>("clearButton")->isHidden(), shown == std::string("未設定"));
        press(Qt::Key_A, Qt::ShiftModifier, kXA, "A");
        EXPECT_EQ(editor->text(), "A") << "keys still swallowed";
        editor->clear();
    };
    expectIdle("未設定");
    recordButton->click();
    press(Qt::Key_A, Qt::NoModifier, kXA, "x");
    press(Qt::Key_Control, Qt::ControlModifier, kXControl);
    EXPECT_EQ(keyBox->text(), "キーを入力…");
    EXPECT_EQ(keyBox->toolTip(), "Escでキャンセル");
    EXPECT_EQ(recordButton->text(), "キャンセル");
    // The layout's character, not the event's text, names the key.
    press(Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier, kXK, "x");
    EXPECT_EQ(settings.manualRealignShortcut(), (ShortcutSpec{40, 0x0300, "⇧⌘K"}));
    EXPECT_EQ(editor->text(), "");
    expectIdle("⇧⌘K");

    service.holdElsewhere(17, 0x1800);
    recordButton->click();
    press(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, kXT);
    EXPECT_FALSE(errorLine->isHidden());
    EXPECT_EQ(errorLine->text(),
              "このキーの組み合わせは他のアプリと衝突しているため使用できません");
    expectIdle("⇧⌘K");
    recordButton->click();
    EXPECT_TRUE(errorLine->isHidden()) << "an earlier refusal's message outlived it";
    press(Qt::Key_Escape, Qt::MetaModifier, kXEscape);
    expectIdle("⇧⌘K");

    recordButton->click();
    window.hide();
    window.show();
    editor->setFocus();
    expectIdle("⇧⌘K");
    child<QToolButton>("clearButton")->click();
    expectIdle("未設定");
    EXPECT_EQ(settings.manualRealignShortcut(), std::nullopt);
}

}  // namespace
}  // namespace tallowmere::ui
