#include "platform/sim/sim_local_key_monitor.h"

#include <utility>

namespace tallowmere::sim {

LocalKeyMonitor::Token SimLocalKeyMonitor::addMonitor(Handler handler) {
    const Token token = nextToken_++;
    monitors_.emplace(token, std::move(handler));
    return token;
}

void SimLocalKeyMonitor::removeMonitor(Token token) {
    monitors_.erase(token);
}

std::optional<KeyEvent> SimLocalKeyMonitor::type(const KeyEvent& event) {
    std::optional<KeyEvent> current = event;
    // Tokens first: a handler may remove any monitor, itself included, while it runs.
    std::vector<Token> order;
    for (const auto& [token, handler] : monitors_) {
        order.insert(order.begin(), token);
    }
    for (const Token token : order) {
        const auto found = monitors_.find(token);
        if (found == monitors_.end()) {
            continue;
        }
        const Handler handler = found->second;
        current = handler(*current);
        if (!current) {
            return std::nullopt;
        }
    }
    return current;
}

}  // namespace tallowmere::sim
