// The keyboard-grab port: every key press of the desktop goes to the program alone while a hold
// is kept, ahead of the combinations other programs have registered, so that the shortcut
// recorder sees the very combination it is asked to check.
#pragma once

#include <memory>

namespace tallowmere {

class KeyboardGrab {
  public:
    // Releases the grab when the last hold is dropped.
    class Hold {
      public:
        virtual ~Hold() = default;
    };

    virtual ~KeyboardGrab() = default;
    // None when the keyboard cannot be had now, mostly because another program holds it.
    virtual std::unique_ptr<Hold> grabKeyboard() = 0;
};

}  // namespace tallowmere
