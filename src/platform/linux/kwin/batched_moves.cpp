// Coalescing the engine's position writes into one batch per frame.
#include "platform/linux/kwin/batched_moves.h"

#include <algorithm>

namespace tallowmere::kwin {

void BatchedMoves::request(const std::string& window, int x, int y, int atX, int atY) {
    auto it = targets_.find(window);
    if (it == targets_.end()) {
        if (x == atX && y == atY) {
            return;  // already there: a resend would only cost the compositor a round
        }
        targets_[window] = {x, y};
        order_.push_back(window);
        return;
    }
    it->second = {x, y};
}

void BatchedMoves::forget(const std::string& window) {
    if (targets_.erase(window) > 0) {
        order_.erase(std::remove(order_.begin(), order_.end(), window), order_.end());
    }
}

std::vector<Move> BatchedMoves::take() {
    std::vector<Move> batch;
    batch.reserve(order_.size());
    for (const std::string& window : order_) {
        const Target& t = targets_.at(window);
        batch.push_back({window, t.x, t.y});
    }
    targets_.clear();
    order_.clear();
    sent_ += batch.size();
    return batch;
}

}  // namespace tallowmere::kwin
