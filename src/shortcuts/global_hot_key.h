// System-wide hot-key registrations: the shared handler table and id counter (HotKeyCenter) and
// one registration each (GlobalHotKey), over the hot-key port.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>

#include "platform/hot_key_service.h"

namespace tallowmere {

// The four ASCII codes packed big-endian, as Carbon four-character codes are.
constexpr std::uint32_t fourCharCode(std::string_view code) {
    std::uint32_t value = 0;
    for (const char c : code) {
        value = value * 256 + static_cast<unsigned char>(c);
    }
    return value;
}

// The state every registration of the process shares: one per program run, passed by reference
// to whoever registers. It must outlive its GlobalHotKeys; the service may outlive it.
class HotKeyCenter {
  public:
    static constexpr std::uint32_t kSignature = fourCharCode("TLHK");

    explicit HotKeyCenter(HotKeyService& service);
    HotKeyCenter(const HotKeyCenter&) = delete;
    HotKeyCenter& operator=(const HotKeyCenter&) = delete;

    // The id the next construction attempt will take.
    std::uint32_t nextId() const { return nextId_; }
    bool pressHandlerInstalled() const { return pressHandlerInstalled_; }
    std::size_t handlerCount() const { return handlers_->size(); }

  private:
    friend class GlobalHotKey;
    using HandlerTable = std::map<std::uint32_t, std::function<void()>>;

    // Runs the handler registered under the pressed id. Always reports the press handled, also
    // for a forgotten id, so it never falls through to another handler. The signature is not
    // compared.
    static OSStatus dispatchPress(HandlerTable& handlers, EventHotKeyID pressed);

    HotKeyService& service_;
    // Shared with the installed press handler, which holds it weakly.
    std::shared_ptr<HandlerTable> handlers_ = std::make_shared<HandlerTable>();
    bool pressHandlerInstalled_ = false;
    std::uint32_t nextId_ = 1;
};

// One registered (key code, Carbon modifiers) combination. Destroying it unregisters it.
class GlobalHotKey {
  public:
    // Installs the process's press handler on first use (retried next time if that fails), takes
    // the next id whatever happens, then registers. Null when the service refuses.
    static std::unique_ptr<GlobalHotKey> create(HotKeyCenter& center, std::uint32_t keyCode,
                                                std::uint32_t carbonModifiers,
                                                std::function<void()> handler);
    // Whether the combination can be registered now; takes an id and leaves nothing registered.
    static bool probe(HotKeyCenter& center, std::uint32_t keyCode, std::uint32_t carbonModifiers);

    GlobalHotKey(const GlobalHotKey&) = delete;
    GlobalHotKey& operator=(const GlobalHotKey&) = delete;
    ~GlobalHotKey();

    // Releases the combination and forgets the handler. Harmless when repeated.
    void unregister();

    std::uint32_t id() const { return id_; }
    bool isRegistered() const { return static_cast<bool>(hotKeyRef_); }

  private:
    GlobalHotKey(HotKeyCenter& center, EventHotKeyRef ref, std::uint32_t id);

    HotKeyCenter& center_;
    EventHotKeyRef hotKeyRef_;
    std::uint32_t id_;
};

}  // namespace tallowmere
