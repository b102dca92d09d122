#include "ui/monitored_apps_section.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/desktop_entry.h"
#include "ui/form_style.h"
#include "ui/running_program.h"

namespace tallowmere::ui {

namespace {

constexpr int kListHeight = 140;
const char* const kApplicationsFolder = "/usr/share/applications";

std::optional<std::string> chooseWithFileDialog(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("アプリを追加"),
                       QString::fromLatin1(kApplicationsFolder),
                       QStringLiteral("デスクトップエントリ (*.desktop)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace

MonitoredAppsSection::MonitoredAppsSection(AppSettings& settings, MonitoredAppsPorts ports,
                                           QWidget* parent)
    : QWidget(parent), settings_(settings), ports_(std::move(ports)) {
    if (!ports_.chooseDesktopEntry) {
        ports_.chooseDesktopEntry = chooseWithFileDialog;
    }
    if (!ports_.processRuns) {
        ports_.processRuns = processRunsProgram;
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("monitoredBundleIdentifiers"));
    list_->setFixedHeight(kListHeight);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(list_);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto* add = new QPushButton(QStringLiteral("アプリを追加..."));
    add->setObjectName(QStringLiteral("addApplication"));
    add->setIcon(symbolIcon(QStringLiteral("list-add"), CircleSymbol::plus, palette()));
    connect(add, &QPushButton::clicked, this, [this] { addFromDesktopEntry(); });
    buttons->addWidget(add);

    auto* running = new QPushButton(QStringLiteral("実行中のアプリから追加..."));
    running->setObjectName(QStringLiteral("addRunningApplication"));
    runningMenu_ = new QMenu(running);
    connect(runningMenu_, &QMenu::aboutToShow, this, [this] { fillRunningMenu(); });
    running->setMenu(runningMenu_);
    buttons->addWidget(running);
    buttons->addStretch();
    layout->addLayout(buttons);

    refresh();
}

void MonitoredAppsSection::refresh() {
    const auto& identifiers = settings_.monitoredBundleIdentifiers();
    if (identifiers == shown_) {
        return;
    }
    shown_ = identifiers;
    list_->clear();
    const QIcon removeIcon =
        symbolIcon(QStringLiteral("list-remove"), CircleSymbol::minus, palette());
    for (const std::string& identifier : shown_) {
        auto* row = new QWidget;
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(6, 0, 2, 0);
        auto* text = new QLabel(QString::fromStdString(identifier));
        text->setTextFormat(Qt::PlainText);
        rowLayout->addWidget(text);
        rowLayout->addStretch();
        auto* remove = new QToolButton;
        remove->setAutoRaise(true);
        remove->setIcon(removeIcon);
        remove->setToolTip(QStringLiteral("削除"));
        remove->setObjectName(QStringLiteral("remove"));
        connect(remove, &QToolButton::clicked, this,
                [this, identifier] { removeIdentifier(identifier); });
        rowLayout->addWidget(remove);

        auto* item = new QListWidgetItem(list_);
        item->setSizeHint(row->sizeHint());
        list_->setItemWidget(item, row);
    }
}

void MonitoredAppsSection::addIdentifier(const std::string& identifier) {
    std::vector<std::string> identifiers = settings_.monitoredBundleIdentifiers();
    if (std::find(identifiers.begin(), identifiers.end(), identifier) != identifiers.end()) {
        return;
    }
    identifiers.push_back(identifier);
    settings_.setMonitoredBundleIdentifiers(std::move(identifiers));
}

void MonitoredAppsSection::removeIdentifier(const std::string& identifier) {
    std::vector<std::string> identifiers = settings_.monitoredBundleIdentifiers();
    std::erase(identifiers, identifier);
    settings_.setMonitoredBundleIdentifiers(std::move(identifiers));
}

void MonitoredAppsSection::addFromDesktopEntry() {
    const std::optional<std::string> file = ports_.chooseDesktopEntry(window());
    if (!file) {
        return;
    }
    const std::optional<DesktopEntry> entry = readDesktopEntryFile(*file);
    if (!entry) {
        return;
    }
    if (entry->startupWMClass) {
        addIdentifier(*entry->startupWMClass);
        return;
    }
    // Most entries name no window class; the running program's windows tell it.
    if (!entry->execProgram || !ports_.runningWindows) {
        return;
    }
    std::vector<std::string> classes;
    for (const RunningWindow& window : ports_.runningWindows()) {
        if (window.canBeArranged && window.pid && !window.applicationIdentifier.empty() &&
            std::find(classes.begin(), classes.end(), window.applicationIdentifier) ==
                classes.end() &&
            ports_.processRuns(*window.pid, *entry->execProgram)) {
            classes.push_back(window.applicationIdentifier);
        }
    }
    for (const std::string& identifier : classes) {
        addIdentifier(identifier);
    }
}

void MonitoredAppsSection::fillRunningMenu() {
    runningMenu_->clear();
    // Docks and the desktop are never arranged: offering them would only mislead.
    std::vector<std::string> classes;
    for (const RunningWindow& window :
         ports_.runningWindows ? ports_.runningWindows() : std::vector<RunningWindow>{}) {
        if (window.canBeArranged) {
            classes.push_back(window.applicationIdentifier);
        }
    }
    std::sort(classes.begin(), classes.end());
    classes.erase(std::unique(classes.begin(), classes.end()), classes.end());
    std::erase(classes, std::string());
    if (classes.empty()) {
        runningMenu_->addAction(QStringLiteral("ウィンドウのあるアプリはありません"))
            ->setEnabled(false);
        return;
    }
    const auto& listed = settings_.monitoredBundleIdentifiers();
    for (const std::string& name : classes) {
        // A class may hold '&', which a menu would take as a mnemonic.
        QAction* action = runningMenu_->addAction(
            QString::fromStdString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setEnabled(std::find(listed.begin(), listed.end(), name) == listed.end());
        connect(action, &QAction::triggered, this, [this, name] { addIdentifier(name); });
    }
}

}  // namespace tallowmere::ui
