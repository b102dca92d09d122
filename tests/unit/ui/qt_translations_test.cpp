#include "ui/qt_translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>

namespace tallowmere::ui {
namespace {

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
