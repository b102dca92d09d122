#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/linux/json_preferences_store.h"
#include "platform/linux/preferences_path.h"
#include "settings/app_settings.h"

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

    // As the user running the tests, unless another is named.
    JsonPreferencesStore open(std::optional<uid_t> user = std::nullopt) {
        return JsonPreferencesStore(
            file, {[] { return std::time_t{1796577595}; },
                   [this](std::string_view line) { reports.emplace_back(line); }, user});
    }
    // What a folder (the file's by default) holds: shows stray temporary and moved-aside files.
    Names names(const fs::path& of = {}) const {
        Names names;
        for (const auto& entry : fs::directory_iterator(of.empty() ? file.parent_path() : of)) {
            names.insert(entry.path().filename());
        }
        return names;
    }

    fs::path folder, file;
    std::vector<std::string> reports;
};

// The top-level object and 99 arrays are still a file; one level more is saved as null.
TEST_F(JsonPreferencesStoreTest, EveryValueTypeSurvivesARestartWithItsTypeInAPrivateFile) {
    const PrefValue scalars = PrefArray{true, 30, INT64_MIN, 30.0, 0.1, "⇧⌘K \"quoted\" \\ \n"};
    const PrefValue blobs = PrefArray{PrefData{}, PrefData{1, 2}, PrefData{0, 0x7f, 0x80, 0xff}};
    PrefValue deepest = PrefArray{};
    for (int level = 3; level <= 100; ++level) {
        deepest = PrefArray{deepest};
    }
    {
        auto store = open();
        store.removeObject("absent");
        EXPECT_FALSE(fs::exists(folder / "tallowmere"));
        store.setObject("scalars", scalars);
        store.setObject("blobs and arrays", PrefArray{blobs, PrefArray{}});
        store.setObject("not finite", std::nan(""));  // JSON has no NaN: saved as null
        store.setObject("deepest", deepest);
        store.setObject("too deep", PrefArray{deepest});
        EXPECT_EQ(store.objectForKey("too deep"), std::nullopt);
    }
    auto reopened = open();
    EXPECT_EQ(reopened.objectForKey("scalars"), scalars);
    EXPECT_EQ(reopened.objectForKey("blobs and arrays"), PrefValue(PrefArray{blobs, PrefArray{}}));
    EXPECT_EQ(reopened.objectForKey("not finite"), std::nullopt);
    EXPECT_EQ(reopened.objectForKey("deepest"), deepest);
    // Blobs in standard base64, padded.
    EXPECT_EQ(
        nlohmann::json::parse(readText(file))["blobs and arrays"][0],
        nlohmann::json::parse(R"([{"$data": ""}, {"$data": "AQI="}, {"$data": "AH+A/w=="}])"));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms(0700));
    EXPECT_EQ(names(), Names{"preferences.json"});
    EXPECT_TRUE(reports.empty());
}

// A value nested 50 000 levels deep once overflowed the stack when read; a store that waited for
// a writer of a named pipe would hang (the alarm ends the run instead).
TEST_F(JsonPreferencesStoreTest, UnusableFileIsReportedAndMovedAsideBeforeTheFirstSaveNeverLost) {
    const std::string aside = "preferences.json.corrupt-20261206T171955Z";
    const std::string deep = std::string(50000, '[') + std::string(50000, ']');
    const std::pair<std::string, std::string> cases[] = {
        {"{\"a\": 3", ""},
        {"[1, 2]", "the top level is not an object"},
        {"", ""},
        {"{\"a\": \"\xff\"}", ""},
        {R"({"a": 3, "b": )" + deep + "}", "nested deeper than 100 levels"}};
    for (const auto& [corrupt, why] : cases) {
        SCOPED_TRACE(corrupt.substr(0, 20));
        fs::remove_all(file.parent_path());
        reports.clear();
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
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_NE(reports[1].find(file.string() + " is unusable (" + why), std::string::npos)
            << reports[1];
    }
    fs::remove_all(file.parent_path());
    fs::create_directories(file.parent_path());
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ::alarm(10);
    auto store = open();
    ::alarm(0);
    EXPECT_NE(reports.back().find("is unusable (not a regular file)"), std::string::npos);
    store.setObject("a", 1);
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_TRUE(fs::is_fifo(file.parent_path() / aside));
}

TEST_F(JsonPreferencesStoreTest, EntriesItCannotRepresentReadAsAbsentButSurviveSaves) {
    const std::string original =
        R"({"zeta": {"by": "hand", "n": [1, null]}, "nothing": null, "mixed": ["a", null],
            "data and more": {"$data": "AAEC", "x": 1}, "unpadded": {"$data": "Zg"},
            "stray bits": {"$data": "Zh=="}, "newline": {"$data": "Zm9v\n"},
            "windowSpacingMargin": 3})";
    writeText(file, original);
    auto store = open();
    for (const char* key :
         {"zeta", "nothing", "mixed", "data and more", "unpadded", "stray bits", "newline"}) {
        EXPECT_EQ(store.objectForKey(key), std::nullopt) << key;
    }
    store.setObject("windowSpacingMargin", 4.5);
    store.setObject("added", "x");
    auto expected = nlohmann::ordered_json::parse(original);
    expected["windowSpacingMargin"] = 4.5;
    expected["added"] = "x";
    EXPECT_EQ(nlohmann::ordered_json::parse(readText(file)).dump(), expected.dump());
}

// A file-size limit makes the write fail midway even for root, whom permissions would not stop.
// A failure is reported once until a save succeeds again.
TEST_F(JsonPreferencesStoreTest, FailedSaveKeepsThePreviousFileAndIsReportedOnce) {
    auto store = open();
    store.setObject("windowSpacingMargin", 20.0);
    const std::string before = readText(file);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, saved.rlim_max};
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    store.setObject("long", std::string(10000, 'x'));
    store.setObject("windowSpacingMargin", 7.0);
    EXPECT_EQ(readText(file), before);
    EXPECT_EQ(names(), Names{"preferences.json"});
    EXPECT_EQ(reports.size(), 1u);
    store.removeObject("long");  // works again, and carries the earlier changes
    EXPECT_EQ(open().objectForKey("windowSpacingMargin"), PrefValue(7.0));
    store.setObject("long", std::string(10000, 'y'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find(file.string() + ": " + std::strerror(EFBIG)), std::string::npos);
}

TEST_F(JsonPreferencesStoreTest, ANumberBeyondADoubleCostsOnlyItsOwnSetting) {
    // {"keyCode":15,"carbonModifiers":6144,"displayString":"R"} in base64.
    const std::string controlOptionR =
        R"({"$data": "eyJrZXlDb2RlIjoxNSwiY2FyYm9uTW9kaWZpZXJzIjo2MTQ0LCJkaXNwbGF5U3RyaW5nIjoiUiJ9"})";
    writeText(file, R"({"monitoredBundleIdentifiers": ["XTerm"], "windowSpacingMargin": 1e400,
        "animationDuration": -2.5E+999, "manualCenterRealignShortcut": )" +
                        controlOptionR + R"(, "tiny": [1e-400, "1e400"], "huge integer": )" +
                        std::string(400, '9') + "}");
    auto store = open();
    const AppSettings settings(store);  // rewrites the center shortcut: a save
    EXPECT_EQ(settings.monitoredBundleIdentifiers(), std::vector<std::string>{"XTerm"});
    EXPECT_EQ(settings.windowSpacingMargin(), 20.0);
    EXPECT_EQ(settings.animationDuration(), 0.5);
    EXPECT_EQ(settings.manualCenterRealignShortcut(), (ShortcutSpec{15, 0x1800, "R"}));
    EXPECT_EQ(store.objectForKey("tiny"), PrefValue(PrefArray{0.0, "1e400"}));
    EXPECT_EQ(store.objectForKey("huge integer"), PrefValue(HUGE_VAL));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(names(), Names{"preferences.json"});  // saved at start-up, not moved aside
}

// Files of "another user" need root to make; a user other than root is played by naming one.
constexpr uid_t kNobody = 65534;
constexpr uid_t kSomeUser = 1000;

void chownTo(const fs::path& file, uid_t user) {
    ASSERT_EQ(::lchown(file.c_str(), user, static_cast<gid_t>(-1)), 0)
        << file << ": " << std::strerror(errno);
}

// A link to another user's file once had that file moved aside and replaced by one of root's.
// A user's own linked file is saved through, or moved aside beside itself, and the link kept.
TEST_F(JsonPreferencesStoreTest, RootFollowsNoLinkAndNobodyReplacesAnotherUsersFile) {
    const bool root = ::geteuid() == 0;
    const uid_t me = root ? kSomeUser : ::geteuid();
    const std::string inMemory = "changes are kept in memory until the program ends";
    const std::string nobodys = " belongs to another user (uid 65534)";
    const std::string neverSaved = "; it is never saved over, and " + inMemory;
    const std::string unusable =
        "unusable (the top level is not an object): using the default settings";
    const std::string good = R"({"windowSpacingMargin": 3})";
    const std::string saved = "{\n  \"windowSpacingMargin\": 4.5\n}\n";
    struct Case {
        uid_t user;
        bool viaLink;
        uid_t owner;
        std::string contents;
        std::optional<PrefValue> spacing;  // what the store reads
        std::string report;                // after the path, if any
        std::string after;                 // what the file holds in the end
        bool movedAside;
    };
    for (const Case& c : {
             Case{me, true, me, good, PrefValue(3), "", saved, false},
             Case{me, true, me, "[1, 2]", std::nullopt,
                  " is " + unusable + "; it will be moved aside at the first save", saved, true},
             Case{0, true, 0, good, std::nullopt,
                  " is a symbolic link, which is not followed when running as root: using the "
                  "default settings; " +
                      inMemory,
                  good, false},
             Case{0, false, kNobody, good, PrefValue(3), nobodys + neverSaved, good, false},
             Case{me, true, kNobody, good, PrefValue(3), nobodys + neverSaved, good, false},
             Case{me, true, kNobody, "[1, 2]", std::nullopt,
                  nobodys + " and is " + unusable + neverSaved, "[1, 2]", false},
         }) {
        SCOPED_TRACE(testing::Message() << c.user << (c.viaLink ? " via a link to " : " of ")
                                        << c.owner << ": " << c.contents);
        if (!root && (c.user != me || c.owner != me)) {
            continue;  // another user's file needs root to make
        }
        fs::remove_all(folder / "tallowmere");
        fs::remove_all(folder / "elsewhere");
        reports.clear();
        const fs::path target = c.viaLink ? folder / "elsewhere" / "theirs.json" : file;
        writeText(target, c.contents);
        chownTo(target, c.owner);
        if (c.viaLink) {
            fs::create_directories(file.parent_path());
            fs::create_symlink("../elsewhere/theirs.json", file);
        }
        {
            auto store = open(c.user);
            EXPECT_EQ(store.objectForKey("windowSpacingMargin"), c.spacing);
            // Once: a played user's save leaves a file of root's, which a second would refuse.
            store.setObject("windowSpacingMargin", 4.5);
            EXPECT_EQ(store.objectForKey("windowSpacingMargin"), PrefValue(4.5));
        }
        EXPECT_EQ(reports, c.report.empty() ? std::vector<std::string>{}
                                            : std::vector{"tallowmere: the preferences file " +
                                                          file.string() + c.report});
        EXPECT_EQ(readText(target), c.after);
        Names kept{target.filename()};
        if (c.movedAside) {
            kept.insert("theirs.json.corrupt-20261206T171955Z");
        }
        EXPECT_EQ(names(target.parent_path()), kept);
        if (c.viaLink) {
            EXPECT_EQ(fs::read_symlink(file), "../elsewhere/theirs.json");
            EXPECT_EQ(names(), Names{"preferences.json"});
        }
    }
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
