// The keyboard grab on the simulated desktop: tests let another program hold the keyboard and see
// whether the grab is held.
#pragma once

#include <memory>

#include "platform/keyboard_grab.h"

namespace tallowmere::sim {

class SimKeyboardGrab final : public KeyboardGrab {
  public:
    std::unique_ptr<Hold> grabKeyboard() override;

    // --- scripting ---
    void holdElsewhere(bool held) { heldElsewhere_ = held; }

    // --- inspection ---
    bool isGrabbed() const { return *holds_ > 0; }

  private:
    class CountedHold;

    bool heldElsewhere_ = false;
    std::shared_ptr<int> holds_ = std::make_shared<int>(0);
};

}  // namespace tallowmere::sim
