#include "ui/settings_view.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "platform/linux/qt/qt_local_key_monitor.h"
#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_preferences_store.h"
#include "ui/desktop_entry.h"
#include "ui/qt_translations.h"

namespace tallowmere::ui {
namespace {

using Strings = std::vector<std::string>;

// X keycodes (evdev + 8) of the keys used here, and what they type on a US layout.
enum XKey : int { kXEscape = 9, kXControl = 37, kXT = 28, kXA = 38, kXK = 45 };
const std::map<std::uint32_t, std::string> kUsLayout = {
    {kXEscape, "\x1b"}, {kXT, "t"}, {kXA, "a"}, {kXK, "k"}};

// The view over settings in a simulated store and hot keys, with Qt's key monitor; the test
// scripts the pickers.
class SettingsViewTest : public ::testing::Test {
  protected:
    SettingsView& open() {
        view = std::make_unique<SettingsView>(
            settings,
            SettingsViewPorts{.hotKeys = center,
                              .keyMonitor = keys,
                              .keyboardGrab = keyboard,
                              .apps = {.runningWindows = [this] { return running; },
                                       .chooseDesktopEntry = [this](QWidget*) { return chosen; }}});
        return *view;
    }
    template <typename T>
    T* find(const char* name) {
        T* child = view->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // A press as the xcb platform delivers it, to an editor where keys go when nothing swallows
    // them.
    void press(int qtKey, Qt::KeyboardModifiers modifiers, int xKeycode, QString text = {}) {
        QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, static_cast<quint32>(xKeycode), 0, 0,
                        text);
        QApplication::sendEvent(&editor, &event);
    }
    // The redraw follows the will-change signal through the event loop.
    void settle() { QCoreApplication::sendPostedEvents(); }
    QListWidget* list() { return find<QListWidget>("monitoredBundleIdentifiers"); }
    QWidget* row(int i) { return list()->itemWidget(list()->item(i)); }
    std::string label(int i) {
        return row(i) ? row(i)->findChild<QLabel*>()->text().toStdString() : "(not built)";
    }
    void remove(int i) {
        row(i)->findChild<QToolButton*>("remove")->click();
        settle();
    }
    Strings listed() {
        Strings rows;
        for (int i = 0; i < list()->count(); ++i) {
            rows.push_back(label(i));
        }
        return rows;
    }
    // A desktop entry file of the test's own, by its path.
    static std::string entry(const char* name, const std::string& text) {
        const auto dir = std::filesystem::path(::testing::TempDir()) / "settings_view_entries";
        std::filesystem::create_directories(dir);
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }

    sim::SimPreferencesStore store;
    AppSettings settings{store};
    sim::SimHotKeyService service;
    HotKeyCenter center{service};
    linux_qt::QtLocalKeyMonitor keys{[](std::uint32_t keycode, std::uint32_t) {
        const auto found = kUsLayout.find(keycode);
        return found == kUsLayout.end() ? std::string() : found->second;
    }};
    QLineEdit editor;
    sim::SimKeyboardGrab keyboard;
    std::vector<RunningWindow> running;
    std::optional<std::string> chosen;
    std::unique_ptr<SettingsView> view;
};

// The duration row is hidden only for no animation.
TEST_F(SettingsViewTest, ControlsShowStoredValuesClampedOnlyByThemselvesAndWriteThrough) {
    // Spacing: stored, shown, slider steps; duration: the same; easing: stored, shown.
    const std::tuple<double, const char*, int, double, const char*, int, EasingFunction,
                     const char*>
        cases[] = {
            {33.9, "33 pt", 3390, 0.5, "0.50秒", 5000, EasingFunction::random,
             "Random（毎回ランダム）"},
            {250, "250 pt", 10000, 0, "0.00秒", 500, EasingFunction::none, "なし（瞬間移動）"},
            {-0.5, "0 pt", 0, 3, "3.00秒", 10000, EasingFunction::snappy, "Snappy（シュイーン）"},
        };
    open();
    ASSERT_EQ(find<QComboBox>("animationEasing")->count(), 10);
    for (const auto& [spacing, spacingShown, spacingSteps, duration, durationShown, durationSteps,
                      easing, easingShown] : cases) {
        SCOPED_TRACE(spacingShown);
        settings.setWindowSpacingMargin(spacing);
        settings.setAnimationDuration(duration);
        settings.setAnimationEasing(easing);
        store.clearLog();
        settle();
        EXPECT_EQ(find<QLabel>("windowSpacingMarginText")->text(), spacingShown);
        EXPECT_EQ(find<QSlider>("windowSpacingMargin")->value(), spacingSteps);
        EXPECT_EQ(find<QLabel>("animationDurationText")->text(), durationShown);
        EXPECT_EQ(find<QSlider>("animationDuration")->value(), durationSteps);
        EXPECT_EQ(find<QComboBox>("animationEasing")->currentText(), easingShown);
        EXPECT_EQ(find<QWidget>("animationDurationRow")->isHidden(),
                  easing == EasingFunction::none);
        EXPECT_TRUE(store.log().empty()) << "showing a value stored it";
    }

    find<QSlider>("windowSpacingMargin")->setValue(3390);
    find<QCheckBox>("alwaysOpenNewWindowOnRight")->click();
    find<QComboBox>("alignmentAnchor")->setCurrentIndex(1);
    find<QComboBox>("animationEasing")->setCurrentIndex(4);
    find<QSlider>("animationDuration")->setValue(2500);
    find<QCheckBox>("showFlashOverlay")->click();
    find<QWidget>("manualCenterRealignShortcut")->findChild<QPushButton*>("recordButton")->click();
    press(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, kXT);
    const AppSettings reread(store);
    EXPECT_EQ(reread.windowSpacingMargin(), 33.9);
    EXPECT_FALSE(reread.alwaysOpenNewWindowOnRight());
    EXPECT_EQ(reread.alignmentAnchor(), AlignmentAnchor::screenCenter);
    EXPECT_EQ(reread.animationEasing(), EasingFunction::easeInOut);
    EXPECT_EQ(reread.animationDuration(), 0.25);
    EXPECT_TRUE(reread.showFlashOverlay());
    EXPECT_EQ(reread.manualCenterRealignShortcut(), (ShortcutSpec{17, 0x1800, "⌃⌥T"}));
}

// An entry names a window class, or a program whose running windows tell it: this test's own
// process stands for one. The tray host's panel and the file manager's desktop are never offered.
TEST_F(SettingsViewTest, AddsOnlyNewIdentifiersAndRemovesEveryCopy) {
    const Pid me = getpid();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    running = {{"XTerm", 1, true},
               {"org.gnome.Nautilus", 11, true},
               {"Emacs", 12, true},
               {"UiTests", me, true},
               {"UiTests", me, true},
               {"UiTestsTray", me, false},
               {"Unknown", std::nullopt, true},
               {"trayer", 14, false},
               {"Xfdesktop", 15, false}};
    settings.setMonitoredBundleIdentifiers({"XTerm", "Gvim", "XTerm"});
    open();
    EXPECT_EQ(listed(), (Strings{"XTerm", "Gvim", "XTerm"}));

    const std::string noClass = entry("plain.desktop", "[Desktop Entry]\nName=Plain\n");
    store.clearLog();
    for (const auto& choice :
         {std::optional<std::string>(),
          std::optional(entry("gvim.desktop", "[Desktop Entry]\nStartupWMClass=Gvim\n")),
          std::optional(noClass),
          std::optional(entry("other.desktop", "[Desktop Entry]\nExec=/usr/bin/no-such-program\n")),
          std::optional(std::filesystem::path(noClass).parent_path().string())}) {
        chosen = choice;
        find<QPushButton>("addApplication")->click();
    }
    EXPECT_TRUE(store.log().empty());
    for (const std::string& line :
         {std::string("StartupWMClass = Emacs"), "Exec=\"" + self + "\" --flag %U"}) {
        chosen = entry("new.desktop", "[Desktop Entry]\n" + line + "\n");
        find<QPushButton>("addApplication")->click();
    }
    QMenu* menu = find<QPushButton>("addRunningApplication")->menu();
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    const auto actions = menu->actions();
    Strings offered;
    for (QAction* action : actions) {
        offered.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (listed)"));
    }
    EXPECT_EQ(offered, (Strings{"Emacs (listed)", "UiTests (listed)", "Unknown", "XTerm (listed)",
                                "org.gnome.Nautilus"}));
    actions[2]->trigger();
    settle();
    EXPECT_EQ(listed(), (Strings{"XTerm", "Gvim", "XTerm", "Emacs", "UiTests", "Unknown"}));

    remove(2);
    EXPECT_EQ(settings.monitoredBundleIdentifiers(),
              (Strings{"Gvim", "Emacs", "UiTests", "Unknown"}));
    EXPECT_EQ(listed(), (Strings{"Gvim", "Emacs", "UiTests", "Unknown"}));
}

// Recording from Qt's key events and the field's widgets; the recorder's own rules are tested
// without Qt. Keys without a modifier, and modifiers alone, are swallowed while recording.
TEST_F(SettingsViewTest, TheShortcutFieldRecordsFromQtKeysAndShowsWhatIsStored) {
    open().show();
    const auto* field = find<QWidget>("manualRealignShortcut");
    const auto* keyBox = field->findChild<QLabel*>("keyBox");
    auto* recordButton = field->findChild<QPushButton*>("recordButton");
    auto* clearButton = field->findChild<QToolButton*>("clearButton");
    const auto* errorLine = field->findChild<QLabel*>("errorLine");
    const auto expectIdle = [&](const char* shown) {
        EXPECT_EQ(keyBox->text(), shown);
        EXPECT_EQ(recordButton->text(), "記録...");
        EXPECT_EQ(clearButton->isHidden(), shown == std::string("未設定"));
        press(Qt::Key_A, Qt::ShiftModifier, kXA, "A");
        EXPECT_EQ(editor.text(), "A") << "keys still swallowed";
        editor.clear();
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
    EXPECT_EQ(editor.text(), "");
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
    view->hide();
    view->show();
    expectIdle("⇧⌘K");
    clearButton->click();
    expectIdle("未設定");
    EXPECT_EQ(settings.manualRealignShortcut(), std::nullopt);
}

// With a widget per row, a list of 100 000 took half a minute to open.
TEST_F(SettingsViewTest, AHugeWatchListOpensAtOnceAndEveryRowCanBeReachedAndRemoved) {
    Strings monitored;
    for (int i = 0; i < 100000; ++i) {
        monitored.push_back("App" + std::to_string(i));
    }
    settings.setMonitoredBundleIdentifiers(monitored);
    open().show();
    QCoreApplication::processEvents();

    QListWidget* rows = list();
    const auto removeButtons = [rows] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return rows->findChildren<QToolButton*>("remove").size();
    };
    ASSERT_EQ(rows->count(), 100000);
    EXPECT_EQ(label(0), "App0");
    // Rows as tall as what they show, so that none overlaps the next.
    EXPECT_EQ(rows->visualItemRect(rows->item(1)).height(), row(1)->sizeHint().height());
    EXPECT_LE(removeButtons(), 60);

    rows->scrollToBottom();
    EXPECT_EQ(label(99999), "App99999");
    EXPECT_EQ(label(0), "(not built)");
    EXPECT_LE(removeButtons(), 60);
    remove(99998);
    ASSERT_EQ(settings.monitoredBundleIdentifiers().size(), 99999u);
    EXPECT_EQ(settings.monitoredBundleIdentifiers().back(), "App99999");
    EXPECT_EQ(settings.monitoredBundleIdentifiers()[99997], "App99997");
    EXPECT_EQ(rows->count(), 99999);
}

TEST(DesktopEntry, ReadsTheWindowClassAndProgramOfTheMainGroupOnly) {
    using Expected = std::pair<std::optional<std::string>, std::optional<std::string>>;
    const std::pair<const char*, Expected> cases[] = {
        {"[Desktop Entry]\nName=X\nStartupWMClass=XTerm\nExec=xterm -e top\n", {"XTerm", "xterm"}},
        {"# c\n[Desktop Entry]\n  StartupWMClass  =  Foo\\sBar \n", {"Foo Bar", std::nullopt}},
        {"[Desktop Entry]\nStartupWMClass[de]=Nein\n", {}},
        {"[Desktop Entry]\nName=X\n[Desktop Action new]\nStartupWMClass=Other\nExec=b\n", {}},
        {"StartupWMClass=Outside\nExec=a\n[Desktop Entry]\n", {}},
        {"[Desktop Entry]\nStartupWMClass=\nExec=\n", {}},
        {"[Desktop Entry]\nExec=\"/opt/My App/run\" %F\n", {std::nullopt, "/opt/My App/run"}},
        {"[Desktop Entry]\nExec=\"/opt/a\\\\\"b\"\n", {std::nullopt, "/opt/a\"b"}},
        {"[Desktop Entry]\n#Exec=commented\nExec=  gvim\t-f %F\n", {std::nullopt, "gvim"}},
    };
    for (const auto& [text, expected] : cases) {
        std::istringstream in(text);
        const DesktopEntry entry = readDesktopEntry(in);
        EXPECT_EQ(entry.startupWMClass, expected.first) << text;
        EXPECT_EQ(entry.execProgram, expected.second) << text;
    }
}

// Qt's own file dialog, as on a desktop without a platform one, in the catalogue's words for
// "Look in:" and "File &name:".
TEST(QtTranslations, TheFileDialogSpeaksJapanese) {
    ASSERT_TRUE(installQtJapaneseTranslations(*QCoreApplication::instance()));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const auto* lookIn = dialog.findChild<QLabel*>("lookInLabel");
    const auto* fileName = dialog.findChild<QLabel*>("fileNameLabel");
    ASSERT_TRUE(lookIn && fileName);
    EXPECT_EQ(lookIn->text(), "アドレス:");
    EXPECT_EQ(fileName->text(), "ファイル名(&N):");
}

}  // namespace
}  // namespace tallowmere::ui
