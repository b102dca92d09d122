// Global shortcuts on KDE Plasma through KDE's global-shortcut service (kglobalaccel, which KWin
// hosts on Wayland): each shortcut is an action of our own component, registered with the keys it
// wants; the service assigns no key another component holds, which is how a refusal is told; its
// presses arrive as the component's globalShortcutPressed signal.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <map>

#include "platform/hot_key_service.h"

namespace tallowmere::kwin {

class KGlobalAccelHotKeys final : public QObject, public HotKeyService {
    Q_OBJECT

  public:
    static constexpr const char* kComponent = "tallowmere";

    explicit KGlobalAccelHotKeys(QDBusConnection bus);
    ~KGlobalAccelHotKeys() override;

    OSStatus installPressHandler(PressHandler handler) override;
    RegisterHotKeyResult registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                        EventHotKeyID id) override;
    OSStatus unregisterHotKey(const EventHotKeyRef& ref) override;

  private slots:
    void pressed(const QString& component, const QString& action, qlonglong timestamp);

  private:
    void forget(const QString& action);

    QDBusConnection bus_;
    PressHandler handler_;
    std::map<QString, EventHotKeyID> actions_;
    std::uint64_t nextAction_ = 0;
    bool listening_ = false;
};

}  // namespace tallowmere::kwin
