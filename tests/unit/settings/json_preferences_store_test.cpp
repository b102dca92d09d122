#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "platform/linux/json_preferences_store.h"
#include "platform/linux/preferences_path.h"

namespace tallowmere {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeText(const fs::path& file, std::string_view text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// A fresh folder per test; failures go to `reports`; the clock says 20261206T171955Z.
class JsonPreferencesStoreTest : public ::testing::Test {
  protected:
    JsonPreferencesStoreTest() {
        std::string pattern = (fs::temp_directory_path() / "tallowmere-prefs-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        file = folder / "tallowmere" / "preferences.json";
    }
    ~JsonPreferencesStoreTest() override { fs::remove_all(folder); }

    JsonPreferencesStore open() {
        return JsonPreferencesStore(
            file, {[] { return std::time_t{1796577595}; },
                   [this](std::string_view line) { reports.emplace_back(line); }});
    }
    // What the file's folder holds: shows stray temporary and moved-aside files.
    Names names() const {
        Names names;
        for (const auto& entry : fs::directory_iterator(file.parent_path())) {
            names.insert(entry.path().filename());
        }
        return names;
    }

    fs::path folder, file;
    std::vector<std::string> reports;
};

TEST_F(JsonPreferencesStoreTest, EveryValueTypeSurvivesARestartWithItsTypeInAPrivateFile) {
    const PrefValue scalars = PrefArray{true, 30, INT64_MIN, 30.0, 0.1, "⇧⌘K \"quoted\" \\ \n"};
    const PrefValue blobs = PrefArray{PrefData{}, PrefData{1, 2}, PrefData{0, 0x7f, 0x80, 0xff}};
    {
        auto store = open();
        store.removeObject("absent");
        EXPECT_FALSE(fs::exists(folder / "tallowmere"));
        store.setObject("scalars", scalars);
        store.setObject("blobs and arrays", PrefArray{blobs, PrefArray{}});
        store.setObject("not finite", std::nan(""));  // JSON has no NaN: saved as null
    }
    auto reopened = open();
    EXPECT_EQ(reopened.objectForKey("scalars"), scalars);
    EXPECT_EQ(reopened.objectForKey("blobs and arrays"), PrefValue(PrefArray{blobs, PrefArray{}}));
    EXPECT_EQ(reopened.objectForKey("not finite"), std::nullopt);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms(0700));
    EXPECT_EQ(names(), Names{"preferences.json"});
    EXPECT_TRUE(reports.empty());
}

TEST_F(JsonPreferencesStoreTest, UnusableFileIsMovedAsideBeforeTheFirstSaveAndNeverOverwritten) {
    const std::string aside = "preferences.json.corrupt-20261206T171955Z";
    for (std::string_view corrupt : {"{\"a\": 3", "[1, 2]", "", "{\"a\": \"\xff\"}"}) {
        SCOPED_TRACE(corrupt);
        fs::remove_all(file.parent_path());
        for (int start = 1; start <= 2; ++start) {
            writeText(file, corrupt);
            auto store = open();
            EXPECT_EQ(store.objectForKey("a"), std::nullopt);
            EXPECT_EQ(readText(file), corrupt);  // untouched until something is saved
            store.setObject("a", start);
        }
        EXPECT_EQ(names(), (Names{"preferences.json", aside, aside + "-1"}));
        EXPECT_EQ(readText(file.parent_path() / aside), corrupt);
        EXPECT_EQ(readText(file.parent_path() / (aside + "-1")), corrupt);
    }
}

TEST_F(JsonPreferencesStoreTest, EntriesItCannotRepresentReadAsAbsentButSurviveSaves) {
    const std::string original =
        R"({"zeta": {"by": "hand", "n": [1, null]}, "nothing": null, "mixed": ["a", null],
            "data and more": {"$data": "AAEC", "x": 1}, "windowSpacingMargin": 3})";
    writeText(file, original);
    auto store = open();
    for (const char* key : {"zeta", "nothing", "mixed", "data and more"}) {
        EXPECT_EQ(store.objectForKey(key), std::nullopt) << key;
    }
    store.setObject("windowSpacingMargin", 4.5);
    store.setObject("added", "x");
    auto expected = nlohmann::ordered_json::parse(original);
    expected["windowSpacingMargin"] = 4.5;
    expected["added"] = "x";
    EXPECT_EQ(nlohmann::ordered_json::parse(readText(file)).dump(), expected.dump());
}

TEST_F(JsonPreferencesStoreTest, FailedSaveKeepsThePreviousFileAndIsReportedOnce) {
    auto store = open();
    store.setObject("windowSpacingMargin", 20.0);
    const std::string before = readText(file);
    // A file-size limit makes the write fail midway even for root, whom permissions would not stop.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    store.setObject("long", std::string(10000, 'x'));
    store.setObject("windowSpacingMargin", 7.0);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_EQ(readText(file), before);
    EXPECT_EQ(names(), Names{"preferences.json"});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(file.string() + ": " + std::strerror(EFBIG)), std::string::npos);
    store.setObject("showFlashOverlay", true);  // works again, and carries the earlier changes
    EXPECT_EQ(open().objectForKey("windowSpacingMargin"), PrefValue(7.0));
}

TEST(PreferencesPath, FollowsXdgConfigHomeThenHome) {
    const fs::path fallback = "/home/u/.config/tallowmere/preferences.json";
    EXPECT_EQ(preferencesPathFor("/x/cfg", "/home/u"), "/x/cfg/tallowmere/preferences.json");
    EXPECT_EQ(preferencesPathFor(std::nullopt, "/home/u"), fallback);
    EXPECT_EQ(preferencesPathFor("", "/home/u"), fallback);
    EXPECT_EQ(preferencesPathFor("relative/cfg", "/home/u"), fallback);
    EXPECT_EQ(preferencesPathFor(std::nullopt, ""), std::nullopt);
    ::setenv("XDG_CONFIG_HOME", "/elsewhere", 1);
    EXPECT_EQ(defaultPreferencesPath(), "/elsewhere/tallowmere/preferences.json");
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tallowmere
