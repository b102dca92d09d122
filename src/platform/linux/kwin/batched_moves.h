// The moves waiting for the compositor's script, sent as one batch at a time: each window's newest
// target, never one it already stands at, and nothing more until the script has asked again
// (which says the previous batch was applied).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tallowmere::kwin {

struct Move {
    std::string window;
    int x = 0;
    int y = 0;
    friend bool operator==(const Move&, const Move&) = default;
};

class BatchedMoves {
  public:
    // `at` is where the window's frame stands now, as last reported.
    void request(const std::string& window, int x, int y, int atX, int atY);
    // The window is gone: its move is dropped.
    void forget(const std::string& window);

    // The script asks for the next batch, which also says the last one was applied. Empty when
    // nothing is due; the caller then waits for a request.
    std::vector<Move> take();
    bool pending() const { return !targets_.empty(); }
    std::uint64_t sent() const { return sent_; }

  private:
    struct Target {
        int x = 0;
        int y = 0;
    };
    std::map<std::string, Target> targets_;
    std::vector<std::string> order_;  // first request first, so the batch follows the engine
    std::uint64_t sent_ = 0;
};

}  // namespace tallowmere::kwin
