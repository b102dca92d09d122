// Entry of the desktop stress tests: they run only on a private desktop from scripts/with-desktop
// whose window manager already manages windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "private_desktop.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    const char* own = std::getenv("TALLOWMERE_PRIVATE_DISPLAY");
    if (!display || !own || std::string(display) != own) {
        std::cerr
            << "refusing to run: DISPLAY is not a private desktop from scripts/with-desktop\n";
        return 1;
    }
    if (!tallowmere::x11test::windowManagerManages(display)) {
        std::cerr << "the window manager does not manage windows\n";
        return 1;
    }
    return RUN_ALL_TESTS();
}
