// Entry of the desktop stress tests: they run only on a private desktop from scripts/with-desktop
// whose window manager already manages windows.
#include "private_desktop.h"

int main(int argc, char** argv) {
    return tallowmere::x11test::runOnPrivateDesktop(argc, argv);
}
