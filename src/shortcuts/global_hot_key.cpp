#include "shortcuts/global_hot_key.h"

#include <utility>

namespace tallowmere {

HotKeyCenter::HotKeyCenter(HotKeyService& service) : service_(service) {}

OSStatus HotKeyCenter::dispatchPress(HandlerTable& handlers, EventHotKeyID pressed) {
    const auto found = handlers.find(pressed.id);
    if (found != handlers.end()) {
        // A copy: the handler may unregister itself, erasing the entry it runs from.
        const auto handler = found->second;
        if (handler) {
            handler();
        }
    }
    return kNoErr;
}

std::unique_ptr<GlobalHotKey> GlobalHotKey::create(HotKeyCenter& center, std::uint32_t keyCode,
                                                   std::uint32_t carbonModifiers,
                                                   std::function<void()> handler) {
    if (!center.pressHandlerInstalled_) {
        const std::weak_ptr<HotKeyCenter::HandlerTable> table = center.handlers_;
        const OSStatus installed =
            center.service_.installPressHandler([table](EventHotKeyID pressed) {
                const auto handlers = table.lock();
                return handlers ? HotKeyCenter::dispatchPress(*handlers, pressed) : kNoErr;
            });
        center.pressHandlerInstalled_ = installed == kNoErr;
    }
    const std::uint32_t id = center.nextId_++;
    auto result = center.service_.registerHotKey(keyCode, carbonModifiers,
                                                 EventHotKeyID{HotKeyCenter::kSignature, id});
    if (result.status != kNoErr || !result.ref) {
        return nullptr;
    }
    (*center.handlers_)[id] = std::move(handler);
    return std::unique_ptr<GlobalHotKey>(new GlobalHotKey(center, std::move(result.ref), id));
}

bool GlobalHotKey::probe(HotKeyCenter& center, std::uint32_t keyCode,
                         std::uint32_t carbonModifiers) {
    auto registration = create(center, keyCode, carbonModifiers, [] {});
    if (!registration) {
        return false;
    }
    registration->unregister();
    return true;
}

GlobalHotKey::GlobalHotKey(HotKeyCenter& center, EventHotKeyRef ref, std::uint32_t id)
    : center_(center), hotKeyRef_(std::move(ref)), id_(id) {}

GlobalHotKey::~GlobalHotKey() {
    unregister();
}

void GlobalHotKey::unregister() {
    if (auto ref = std::exchange(hotKeyRef_, nullptr)) {
        center_.service_.unregisterHotKey(ref);
    }
    center_.handlers_->erase(id_);
}

}  // namespace tallowmere
