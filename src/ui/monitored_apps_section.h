// The watched-applications part of the settings form: the list with a remove button per row, and
// the two ways to add an application (a desktop entry file, or a running application's class).
#pragma once

#include <QIcon>
#include <QWidget>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/running_window.h"
#include "settings/app_settings.h"

class QListWidget;
class QMenu;

namespace tallowmere::ui {

struct MonitoredAppsPorts {
    // The other applications' windows now, in any order.
    std::function<std::vector<RunningWindow>()> runningWindows;
    // The desktop entry file the user picked, none when cancelled; a modal file dialog when empty.
    std::function<std::optional<std::string>(QWidget* parent)> chooseDesktopEntry;
    // Whether a process runs the program an entry's Exec names; processRunsProgram when empty.
    std::function<bool(Pid, const std::string& program)> processRuns;
};

class MonitoredAppsSection : public QWidget {
  public:
    MonitoredAppsSection(AppSettings& settings, MonitoredAppsPorts ports, QWidget* parent);

    void refresh();
    // Appends `identifier` unless it is already listed (exact comparison).
    void addIdentifier(const std::string& identifier);
    // Removes every entry equal to `identifier`, keeping the order of the rest.
    void removeIdentifier(const std::string& identifier);
    // The entry's StartupWMClass; without one, the classes of the windows whose process runs the
    // entry's Exec program; nothing when there are none.
    void addFromDesktopEntry();

  private:
    void fillRunningMenu();
    // Gives the rows in and near view their label and remove button, and takes them from the
    // rest: a widget per row of a list of 100 000 took half a minute to build.
    void showRowsInView();
    QWidget* makeRow(const std::string& identifier);

    AppSettings& settings_;
    MonitoredAppsPorts ports_;
    QListWidget* list_;
    QMenu* runningMenu_;
    std::vector<std::string> shown_;
    std::set<int> rowsWithWidgets_;
    QIcon removeIcon_;
};

}  // namespace tallowmere::ui
