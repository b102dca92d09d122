// Entry of the desktop stress tests: they run only on a private desktop from scripts/with-desktop
// whose window manager already manages windows.
#include "display_session.h"

int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
