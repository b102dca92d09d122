#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "platform/linux/json_preferences_store.h"
#include "platform/linux/preferences_path.h"
#include "settings/pref_value_printer.h"

namespace tallowmere {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "tallowmere-prefs-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(path_)) {
            names.push_back(fs::relative(entry.path(), path_).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& file, std::string_view text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

unsigned permissions(const fs::path& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

constexpr std::time_t k20261206T171955Z = 1796577595;

JsonPreferencesStoreOptions fixedClock(std::vector<std::string>* reports = nullptr) {
    JsonPreferencesStoreOptions options;
    options.clock = [] { return k20261206T171955Z; };
    options.report = [reports](std::string_view line) {
        if (reports != nullptr) {
            reports->emplace_back(line);
        }
    };
    return options;
}

TEST(JsonPreferencesStore, EveryValueTypeSurvivesARestartWithItsType) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "new" / "tallowmere" / "preferences.json";
    PrefData allBytes;
    for (int value = 0; value < 256; ++value) {
        allBytes.push_back(static_cast<std::uint8_t>(value));
    }
    const std::vector<std::pair<std::string, PrefValue>> values = {
        {"yes", true},
        {"no", false},
        {"integer", 30},
        {"negative", std::numeric_limits<std::int64_t>::min()},
        {"largest", std::numeric_limits<std::int64_t>::max()},
        {"whole real", 30.0},
        {"real", 0.1},
        {"tiny", 5e-324},
        {"text", "⇧⌘K \"quoted\" \\ \n"},
        {"empty data", PrefData{}},
        {"data", allBytes},
        {"list", PrefArray{"XTerm", 1, 2.5, false, PrefData{1, 2}, PrefArray{}}},
    };
    {
        JsonPreferencesStore store(file, fixedClock());
        for (const auto& [key, value] : values) {
            store.setObject(key, value);
        }
        store.setObject("not finite", std::numeric_limits<double>::quiet_NaN());
    }
    JsonPreferencesStore reopened(file, fixedClock());
    for (const auto& [key, value] : values) {
        SCOPED_TRACE(key);
        EXPECT_EQ(reopened.objectForKey(key), value);
    }
    // JSON has no NaN: it is saved as null and so is absent after a restart.
    EXPECT_EQ(reopened.objectForKey("not finite"), std::nullopt);
    const auto onDisk = nlohmann::json::parse(readText(file));
    EXPECT_EQ(onDisk["list"],
              nlohmann::json::parse(R"(["XTerm",1,2.5,false,{"$data":"AQI="},[]])"));
    EXPECT_TRUE(onDisk["whole real"].is_number_float());
    EXPECT_TRUE(onDisk["not finite"].is_null());
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(permissions(file.parent_path()), 0700u);
    EXPECT_EQ(permissions(file.parent_path().parent_path()), 0700u);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"new", "new/tallowmere",
                                                        "new/tallowmere/preferences.json"}));
}

TEST(JsonPreferencesStore, MissingFileIsEmptyAndRemovingAnAbsentKeyWritesNothing) {
    TemporaryFolder folder;
    JsonPreferencesStore store(folder.path() / "tallowmere" / "preferences.json", fixedClock());
    EXPECT_EQ(store.objectForKey("windowSpacingMargin"), std::nullopt);
    store.removeObject("manualCenterRealignShortcut");
    EXPECT_TRUE(folder.names().empty());
    store.setObject("a", 1);
    store.removeObject("a");
    EXPECT_EQ(nlohmann::json::parse(readText(store.path())), nlohmann::json::object());
}

TEST(JsonPreferencesStore, UnusableFileIsMovedAsideBeforeTheFirstSaveAndNeverOverwritten) {
    for (std::string_view corrupt :
         {"{\"windowSpacingMargin\": 3", "[1, 2]", "\"text\"", "", "{\"a\": \"\xff\"}"}) {
        SCOPED_TRACE(corrupt);
        TemporaryFolder folder;
        const fs::path file = folder.path() / "preferences.json";
        writeText(file, corrupt);
        for (int start = 1; start <= 2; ++start) {
            JsonPreferencesStore store(file, fixedClock());
            EXPECT_EQ(store.objectForKey("windowSpacingMargin"), std::nullopt);
            EXPECT_EQ(readText(file), corrupt);  // untouched until something is saved
            store.setObject("windowSpacingMargin", start);
            writeText(file, corrupt);  // corrupt again for the second start
        }
        EXPECT_EQ(folder.names(), (std::vector<std::string>{
                                      "preferences.json",
                                      "preferences.json.corrupt-20261206T171955Z",
                                      "preferences.json.corrupt-20261206T171955Z-1",
                                  }));
        EXPECT_EQ(readText(folder.path() / "preferences.json.corrupt-20261206T171955Z"), corrupt);
        EXPECT_EQ(readText(folder.path() / "preferences.json.corrupt-20261206T171955Z-1"), corrupt);
    }
}

TEST(JsonPreferencesStore, EntriesItCannotRepresentReadAsAbsentButSurviveSaves) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "preferences.json";
    const std::string original = R"({
        "zeta": {"note": "hand-written", "n": [1, null]},
        "nothing": null,
        "mixed": ["a", null],
        "bad data": {"$data": "Zh=="},
        "data and more": {"$data": "AAEC", "x": 1},
        "windowSpacingMargin": 3,
        "huge": 18446744073709551615
    })";
    writeText(file, original);
    JsonPreferencesStore store(file, fixedClock());
    for (const char* key : {"zeta", "nothing", "mixed", "bad data", "data and more"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(store.objectForKey(key), std::nullopt);
    }
    EXPECT_EQ(store.objectForKey("huge"), PrefValue(18446744073709551615.0));
    store.setObject("windowSpacingMargin", 4.5);
    store.setObject("added", "x");

    auto expected = nlohmann::ordered_json::parse(original);
    expected["windowSpacingMargin"] = 4.5;
    expected["added"] = "x";
    EXPECT_EQ(nlohmann::ordered_json::parse(readText(file)).dump(), expected.dump());
}

TEST(JsonPreferencesStore, FailedSaveKeepsThePreviousFileAndReportsOnce) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "preferences.json";
    std::vector<std::string> reports;
    JsonPreferencesStore store(file, fixedClock(&reports));
    store.setObject("windowSpacingMargin", 20.0);
    const std::string before = readText(file);

    // A file-size limit makes the write fail midway even for root, for whom folder permissions
    // would not.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    store.setObject("monitoredBundleIdentifiers", std::string(10000, 'x'));
    store.setObject("windowSpacingMargin", 7.0);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(readText(file), before);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"preferences.json"});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(file.string()), std::string::npos);
    EXPECT_NE(reports[0].find(std::strerror(EFBIG)), std::string::npos);
    EXPECT_EQ(store.objectForKey("windowSpacingMargin"), PrefValue(7.0));

    // Once saving works again, the next save carries every change made meanwhile.
    store.setObject("showFlashOverlay", true);
    JsonPreferencesStore reopened(file, fixedClock());
    EXPECT_EQ(reopened.objectForKey("windowSpacingMargin"), PrefValue(7.0));
    EXPECT_EQ(reopened.objectForKey("monitoredBundleIdentifiers"),
              PrefValue(std::string(10000, 'x')));
}

TEST(PreferencesPath, FollowsXdgConfigHomeThenHome) {
    using Path = std::optional<fs::path>;
    struct Case {
        std::optional<std::string_view> xdg, home;
        Path expected;
    };
    const Case cases[] = {
        {"/x/cfg", "/home/u", fs::path("/x/cfg/tallowmere/preferences.json")},
        {std::nullopt, "/home/u", fs::path("/home/u/.config/tallowmere/preferences.json")},
        {"", "/home/u", fs::path("/home/u/.config/tallowmere/preferences.json")},
        {"relative/cfg", "/home/u", fs::path("/home/u/.config/tallowmere/preferences.json")},
        {std::nullopt, "", std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.xdg.value_or("<unset>") << " " << c.home.value_or("<unset>"));
        EXPECT_EQ(preferencesPathFor(c.xdg, c.home), c.expected);
    }
}

TEST(PreferencesPath, ReadsTheEnvironment) {
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", "/elsewhere", 1);
    EXPECT_EQ(defaultPreferencesPath(), fs::path("/elsewhere/tallowmere/preferences.json"));
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace tallowmere
