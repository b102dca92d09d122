// A list of receivers that a value (or nothing) is sent to, each held by a Subscription token.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "settings/subscription.h"

namespace tallowmere {

// Tokens and streams may die in either order: a token reaches its stream only through a weak
// pointer. Receivers may cancel any token, subscribe, or send again from inside a delivery.
// Everything runs on the main thread; nothing is locked.
template <typename... Args>
class ChangeStream {
  public:
    using Receiver = std::function<void(const Args&...)>;

    ChangeStream() = default;
    ChangeStream(const ChangeStream&) = delete;
    ChangeStream& operator=(const ChangeStream&) = delete;

    [[nodiscard]] Subscription subscribe(Receiver receiver) {
        auto entry = std::make_shared<Entry>(Entry{std::move(receiver), false});
        entries_->push_back(entry);
        return Subscription(
            [list = std::weak_ptr<List>(entries_), weakEntry = std::weak_ptr<Entry>(entry)] {
                auto entry = weakEntry.lock();
                if (!entry) {
                    return;
                }
                entry->cancelled = true;
                if (auto entries = list.lock()) {
                    std::erase(*entries, entry);
                }
            });
    }

    void send(const Args&... args) const {
        // A snapshot keeps each receiver alive while it runs even if it cancels itself; the flag
        // stops receivers cancelled earlier in this same delivery. Receivers added meanwhile wait
        // for the next one.
        const List snapshot = *entries_;
        for (const auto& entry : snapshot) {
            if (!entry->cancelled) {
                entry->receive(args...);
            }
        }
    }

    std::size_t subscriberCount() const { return entries_->size(); }

  private:
    struct Entry {
        Receiver receive;
        bool cancelled = false;
    };
    using List = std::vector<std::shared_ptr<Entry>>;

    std::shared_ptr<List> entries_ = std::make_shared<List>();
};

}  // namespace tallowmere
