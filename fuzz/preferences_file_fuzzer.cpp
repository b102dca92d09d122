// Any bytes as the preferences file: the store and the settings load them, save, and the saved file
// loads again without complaint to the same settings.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "platform/linux/json_preferences_store.h"
#include "settings/app_settings.h"

namespace {

namespace fs = std::filesystem;
using namespace tallowmere;

// A folder of our own, on a memory file system where there is one: every run saves and syncs.
const fs::path& folder() {
    static const fs::path path = [] {
        const fs::path shm = "/dev/shm";
        std::string pattern =
            ((fs::is_directory(shm) ? shm : fs::temp_directory_path()) / "tallowmere-fuzz-XXXXXX")
                .string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        std::atexit([] { fs::remove_all(folder()); });
        return fs::path(pattern);
    }();
    return path;
}

auto snapshot(const AppSettings& s) {
    return std::tuple(s.monitoredBundleIdentifiers(), s.pausedBundleIdentifiers(),
                      s.windowSpacingMargin(), s.alwaysOpenNewWindowOnRight(), s.animationEasing(),
                      s.animationDuration(), s.showFlashOverlay(), s.manualRealignShortcut(),
                      s.alignmentAnchor(), s.manualCenterRealignShortcut());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path file = folder() / "preferences.json";
    // An unusable file of the last run was moved aside beside it.
    fs::remove(file.string() + ".corrupt-19700101T000000Z");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), size);

    int reports = 0;
    const JsonPreferencesStoreOptions options{[] { return std::time_t{0}; },
                                              [&reports](std::string_view) { ++reports; }};
    JsonPreferencesStore store(file, options);
    AppSettings settings(store);
    // One save (syncing a file costs more than all the rest of a run): the loaded document with
    // a blob nested in an array added, which is written back whole.
    store.setObject("fuzz", PrefArray{PrefData(data, data + std::min<std::size_t>(size, 16))});

    reports = 0;
    JsonPreferencesStore reopened(file, options);
    const AppSettings reloaded(reopened);
    if (reports != 0 || snapshot(reloaded) != snapshot(settings)) {
        std::abort();
    }
    return 0;
}
