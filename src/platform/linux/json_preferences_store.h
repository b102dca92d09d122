// The preferences store as a typed JSON file, rewritten by atomic replace on every change.
#pragma once

#include <sys/types.h>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/preferences_store.h"

namespace tallowmere {

struct JsonPreferencesStoreOptions {
    // UTC seconds for the name a corrupt file is moved aside to; the system clock when empty.
    std::function<std::time_t()> clock;
    // Receives the one-line reports (an unusable file found at start-up, a failed save); standard
    // error when empty.
    std::function<void(std::string_view)> report;
    // The user the program runs as; the effective user when empty.
    std::optional<uid_t> user;
};

// One JSON object keyed by preference key. Strings, integers, reals, booleans and arrays are
// themselves; a byte blob is {"$data": "<base64>"}. Entries the store cannot represent (null,
// other objects, arrays holding either) read as absent but are written back untouched, so that
// hand-edited extras survive. A non-finite double is held in memory but saved as null, the only
// JSON for it, and so reads as absent after a restart; a number in the file beyond the range of a
// double reads as an infinity of its sign, so that it costs only its own entry. A value set nested
// deeper than a file may be is stored as null.
//
// A missing file is an empty store. A file that cannot be read or parsed, that is not a regular
// file, that nests deeper than kMaxJsonNesting levels, or whose top level is not an object, is
// also an empty store: that is reported, and the file is moved aside to
// "<name>.corrupt-<UTC YYYYMMDDTHHMMSSZ>[-N]" before the first save; it is never overwritten.
// Saving writes a temporary file (mode 0600) in the same folder, syncs it and renames it over the
// file, creating missing folders with mode 0700; when the file is a symbolic link, the linked file
// is replaced (or moved aside) and the link kept. When a save fails the previous file is left
// intact, the failure is reported once until a save succeeds again, and the store keeps working
// in memory. Nothing here throws.
//
// Root never follows a symbolic link here (it may lead into anybody's files): such a file is not
// read, and a file owned by another user is read but never replaced nor moved aside. Either is
// reported once at start-up, and the store then works in memory only.
class JsonPreferencesStore final : public PreferencesStore {
  public:
    explicit JsonPreferencesStore(std::filesystem::path file,
                                  JsonPreferencesStoreOptions options = {});
    ~JsonPreferencesStore() override;
    JsonPreferencesStore(const JsonPreferencesStore&) = delete;
    JsonPreferencesStore& operator=(const JsonPreferencesStore&) = delete;

    std::optional<PrefValue> objectForKey(std::string_view key) override;
    void setObject(std::string_view key, const PrefValue& value) override;
    // Removing a key that is not there changes nothing and saves nothing.
    void removeObject(std::string_view key) override;

    const std::filesystem::path& path() const { return file_; }

  private:
    struct Document;

    void load();
    void save();
    bool moveCorruptFileAside();
    void reportFailure(const std::string& what, int error);

    std::filesystem::path file_;
    JsonPreferencesStoreOptions options_;
    std::unique_ptr<Document> document_;
    uid_t user_;
    // Set when the file is not ours to write: saves keep the changes in memory only.
    bool refused_ = false;
    bool corruptFilePending_ = false;
    bool failureReported_ = false;
};

}  // namespace tallowmere
