#include "ui/monitored_apps_section.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
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
    list_->setUniformItemSizes(true);
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { showRowsInView(); });
    layout->addWidget(list_);
    removeIcon_ = symbolIcon(QStringLiteral("list-remove"), CircleSymbol::minus, palette());

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
    rowsWithWidgets_.clear();
    list_->clear();
    if (shown_.empty()) {
        return;
    }
    // In one insertion, all rows alike, so that the view lays out any number of them at once.
    QWidget* sample = makeRow(shown_.front());
    const QSize rowSize = sample->sizeHint();
    delete sample;
    list_->model()->insertRows(0, static_cast<int>(shown_.size()));
    for (int row = 0; row < list_->count(); ++row) {
        list_->item(row)->setSizeHint(rowSize);
    }
    showRowsInView();
}

void MonitoredAppsSection::showRowsInView() {
    // Far more than the list's height shows, so that a short list has all its rows built, in
    // order, and keyboard focus passes through every remove button.
    constexpr int kRowsAround = 30;
    const QModelIndex top = list_->indexAt(QPoint(0, 0));
    const int first = top.isValid() ? top.row() : 0;
    const int from = std::max(0, first - kRowsAround);
    const int to = std::min(list_->count(), first + kRowsAround);
    for (auto row = rowsWithWidgets_.begin(); row != rowsWithWidgets_.end();) {
        if (*row < from || *row >= to) {
            list_->removeItemWidget(list_->item(*row));
            row = rowsWithWidgets_.erase(row);
        } else {
            ++row;
        }
    }
    for (int row = from; row < to; ++row) {
        if (rowsWithWidgets_.insert(row).second) {
            list_->setItemWidget(list_->item(row), makeRow(shown_[static_cast<std::size_t>(row)]));
        }
    }
}

QWidget* MonitoredAppsSection::makeRow(const std::string& identifier) {
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(6, 0, 2, 0);
    auto* text = new QLabel(QString::fromStdString(identifier));
    text->setTextFormat(Qt::PlainText);
    rowLayout->addWidget(text);
    rowLayout->addStretch();
    auto* remove = new QToolButton;
    remove->setAutoRaise(true);
    remove->setIcon(removeIcon_);
    remove->setToolTip(QStringLiteral("削除"));
    remove->setObjectName(QStringLiteral("remove"));
    connect(remove, &QToolButton::clicked, this,
            [this, identifier] { removeIdentifier(identifier); });
    rowLayout->addWidget(remove);
    return row;
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
