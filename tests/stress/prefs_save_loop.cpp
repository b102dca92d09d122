// Saves the preferences over and over until killed: the victim of the kill-during-save check.
// Each save stores a spacing equal to the save's number, so a reader can tell old from new.
#include <cstdlib>
#include <iostream>

#include "platform/linux/json_preferences_store.h"
#include "settings/app_settings.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: prefs_save_loop FILE COUNT\n";
        return 2;
    }
    tallowmere::JsonPreferencesStore store(argv[1]);
    tallowmere::AppSettings settings(store);
    const long count = std::strtol(argv[2], nullptr, 10);
    const double start = settings.windowSpacingMargin();
    for (long i = 1; i <= count; ++i) {
        settings.setWindowSpacingMargin(start + double(i));
    }
    return 0;
}
