// Our end of the bridge to the compositor's script: a session-bus service the script reports to
// and fetches its moves from, and the loading of the script into KWin (again when KWin restarts).
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/kwin/script_reports.h"

class QDBusServiceWatcher;

namespace tallowmere::kwin {

class KWinDesktop;

class ScriptBridge final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tallowmere.Bridge")

  public:
    static constexpr const char* kService = "org.tallowmere.Bridge";
    static constexpr const char* kPath = "/Bridge";
    static constexpr const char* kScriptName = "tallowmere";

    ScriptBridge(KWinDesktop& desktop, QDBusConnection bus, QString scriptPath);
    ~ScriptBridge() override;

    // Takes our name on the bus and loads the script; false with the reason when either fails.
    bool start(std::string& whyNot);
    // Unloads the script and gives the name up.
    void stop();
    // Asks the script to place one of our windows, known by its title.
    void place(Placement placement);

  public slots:
    Q_SCRIPTABLE void snapshot(const QString& json);
    Q_SCRIPTABLE void window(const QString& json);
    Q_SCRIPTABLE void removed(const QString& id);
    Q_SCRIPTABLE void active(const QString& id);
    // The script's standing request for moves, answered with a batch when one is due.
    Q_SCRIPTABLE QString nextMoves();

  private:
    bool loadScript(std::string& whyNot);
    bool fromKWin();
    void answerPoll();
    void answerSoon();
    void kwinAppeared(const QString& owner);

    KWinDesktop& desktop_;
    QDBusConnection bus_;
    QString scriptPath_;
    QString kwinOwner_;
    std::optional<QDBusMessage> poll_;
    std::vector<Placement> placements_;
    QTimer idle_;
    bool answerQueued_ = false;
    bool started_ = false;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};

}  // namespace tallowmere::kwin
