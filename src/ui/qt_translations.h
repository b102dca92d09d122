// Qt's own texts (the file dialog, message-box buttons, context menus of text fields) in Japanese,
// like every text of the program.
#pragma once

class QCoreApplication;

namespace tallowmere::ui {

// Loads Qt's Japanese catalogue from Qt's translations folder, whatever the user's locale; false
// when it is not installed (Qt's texts then stay English).
bool installQtJapaneseTranslations(QCoreApplication& application);

}  // namespace tallowmere::ui
