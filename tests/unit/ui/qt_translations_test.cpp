#include "ui/qt_translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace tallowmere::ui {
namespace {

TEST(QtTranslations, FileDialogAndMessageBoxesSpeakJapanese) {
    ASSERT_TRUE(installQtJapaneseTranslations(*QCoreApplication::instance()));

    QMessageBox box(QMessageBox::Information, "t", "x", QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "キャンセル");

    // Qt's own dialog, as on a desktop without a platform file dialog.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const auto* lookIn = dialog.findChild<QLabel*>("lookInLabel");
    const auto* fileName = dialog.findChild<QLabel*>("fileNameLabel");
    ASSERT_NE(lookIn, nullptr);
    ASSERT_NE(fileName, nullptr);
    // The catalogue's words for "Look in:" and "File &name:".
    EXPECT_EQ(lookIn->text(), "アドレス:");
    EXPECT_EQ(fileName->text(), "ファイル名(&N):");
}

}  // namespace
}  // namespace tallowmere::ui
