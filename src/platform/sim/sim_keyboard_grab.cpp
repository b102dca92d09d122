#include "platform/sim/sim_keyboard_grab.h"

namespace tallowmere::sim {

class SimKeyboardGrab::CountedHold final : public Hold {
  public:
    explicit CountedHold(std::weak_ptr<int> holds) : holds_(std::move(holds)) {}
    ~CountedHold() override {
        if (auto holds = holds_.lock()) {
            --*holds;
        }
    }

  private:
    std::weak_ptr<int> holds_;
};

std::unique_ptr<KeyboardGrab::Hold> SimKeyboardGrab::grabKeyboard() {
    if (heldElsewhere_) {
        return nullptr;
    }
    ++*holds_;
    return std::make_unique<CountedHold>(holds_);
}

}  // namespace tallowmere::sim
