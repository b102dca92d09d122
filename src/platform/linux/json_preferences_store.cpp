#include "platform/linux/json_preferences_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <variant>

#include "platform/linux/atomic_file.h"
#include "platform/linux/base64.h"
#include "platform/linux/json_document_reader.h"

namespace tallowmere {

using Json = PrefsJson;

struct JsonPreferencesStore::Document {
    Json object = Json::object();
};

namespace {

constexpr const char* kDataMember = "$data";

// Recursive, but the reader and toJson keep every document within kMaxJsonNesting levels.
std::optional<PrefValue> fromJson(const Json& json) {
    switch (json.type()) {
        case Json::value_t::boolean:
            return PrefValue(json.get<bool>());
        case Json::value_t::number_integer:
            return PrefValue(json.get<std::int64_t>());
        case Json::value_t::number_unsigned: {
            // Above the signed range the value is still a number; a real is the nearest we hold.
            const auto number = json.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return PrefValue(static_cast<std::int64_t>(number));
            }
            return PrefValue(static_cast<double>(number));
        }
        case Json::value_t::number_float:
            return PrefValue(json.get<double>());
        case Json::value_t::string:
            return PrefValue(json.get<std::string>());
        case Json::value_t::array: {
            PrefArray array;
            array.reserve(json.size());
            for (const Json& element : json) {
                auto value = fromJson(element);
                if (!value) {
                    return std::nullopt;
                }
                array.push_back(std::move(*value));
            }
            return PrefValue(std::move(array));
        }
        case Json::value_t::object: {
            const auto data = json.find(kDataMember);
            if (json.size() != 1 || data == json.end() || !data->is_string()) {
                return std::nullopt;
            }
            auto bytes = decodeBase64(data->get_ref<const std::string&>());
            return bytes ? std::optional<PrefValue>(PrefValue(std::move(*bytes))) : std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

// `level` is the nesting level the value takes if it is an array or a blob object, counting the
// file's top-level object as 1. Deeper than a file may be nested, it becomes null, as any value
// the store cannot represent does, so that every saved file can be read back.
Json toJson(const PrefValue& value, std::size_t level) {
    return std::visit(
        [level](const auto& held) -> Json {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, PrefData> || std::is_same_v<T, PrefArray>) {
                if (level > kMaxJsonNesting) {
                    return nullptr;
                }
            }
            if constexpr (std::is_same_v<T, PrefData>) {
                return Json{{kDataMember, encodeBase64(held)}};
            } else if constexpr (std::is_same_v<T, PrefArray>) {
                Json array = Json::array();
                for (const PrefValue& element : held) {
                    array.push_back(toJson(element, level + 1));
                }
                return array;
            } else {
                return Json(held);
            }
        },
        value.value);
}

struct FileRead {
    // 0, or the errno that stopped the read (ENOENT for a missing file, EINVAL for something
    // other than a regular file, ELOOP for a link not followed).
    int error = 0;
    std::string contents;
    // Whose the file is, when that could be found out, even if it could not be read.
    std::optional<uid_t> owner;
};

// Opening does not block: a named pipe at the path would otherwise hold up start-up until some
// other program wrote to it.
FileRead readFile(const std::filesystem::path& file, bool followLinks) {
    FileRead read;
    const int fd =
        ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    struct stat status {};
    if (fd < 0) {
        read.error = errno;
        if ((followLinks ? ::stat : ::lstat)(file.c_str(), &status) == 0) {
            read.owner = status.st_uid;
        }
        return read;
    }
    if (::fstat(fd, &status) != 0) {
        read.error = errno;
    } else {
        read.owner = status.st_uid;
        if (!S_ISREG(status.st_mode)) {
            read.error = EINVAL;
        }
    }
    char buffer[8192];
    while (read.error == 0) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            read.error = errno;
        } else if (count == 0) {
            break;
        } else {
            read.contents.append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(fd);
    if (read.error != 0) {
        read.contents.clear();
    }
    return read;
}

std::string utcStamp(std::time_t when) {
    std::tm parts{};
    char text[32] = "19700101T000000Z";
    if (::gmtime_r(&when, &parts) != nullptr) {
        std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    }
    return text;
}

// Never replaces an existing file. Some file systems lack the no-replace rename; there a check
// first is the best available (the window is a race with another writer of the same odd name).
int renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    struct stat status {};
    if (::lstat(to.c_str(), &status) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

JsonPreferencesStore::JsonPreferencesStore(std::filesystem::path file,
                                           JsonPreferencesStoreOptions options)
    : file_(std::move(file)),
      options_(std::move(options)),
      document_(std::make_unique<Document>()) {
    if (!options_.clock) {
        options_.clock = [] { return std::time(nullptr); };
    }
    user_ = options_.user ? *options_.user : ::geteuid();
    if (!options_.report) {
        options_.report = [](std::string_view line) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        };
    }
    load();
}

JsonPreferencesStore::~JsonPreferencesStore() = default;

void JsonPreferencesStore::load() {
    const std::string where = "tallowmere: the preferences file " + file_.string();
    const std::string inMemory = "changes are kept in memory until the program ends";
    const bool root = user_ == 0;
    auto [error, contents, owner] = readFile(file_, !root);
    if (error == ENOENT) {
        return;
    }
    struct stat status {};
    if (root && error == ELOOP && ::lstat(file_.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        refused_ = true;
        options_.report(where +
                        " is a symbolic link, which is not followed when running as root: using "
                        "the default settings; " +
                        inMemory);
        return;
    }
    std::string why;
    if (error == EINVAL) {
        why = "not a regular file";
    } else if (error != 0) {
        why = std::strerror(error);
    } else {
        auto read = readJsonDocument(contents);
        if (auto* document = std::get_if<Json>(&read); document && document->is_object()) {
            document_->object = std::move(*document);
        } else {
            why = std::holds_alternative<std::string>(read) ? std::get<std::string>(read)
                                                            : "the top level is not an object";
        }
    }
    if (owner && *owner != user_) {
        // Replacing it would hand it over to us; moving it aside is not ours to do either.
        refused_ = true;
        const std::string unusable =
            why.empty() ? "" : " and is unusable (" + why + "): using the default settings";
        options_.report(where + " belongs to another user (uid " + std::to_string(*owner) + ")" +
                        unusable + "; it is never saved over, and " + inMemory);
        return;
    }
    if (why.empty()) {
        return;
    }
    // Unusable: start empty, and keep the file out of the way of the first save.
    corruptFilePending_ = true;
    options_.report(where + " is unusable (" + why +
                    "): using the default settings; it will be moved aside at the first save");
}

std::optional<PrefValue> JsonPreferencesStore::objectForKey(std::string_view key) {
    const auto it = document_->object.find(key);
    if (it == document_->object.end()) {
        return std::nullopt;
    }
    return fromJson(*it);
}

void JsonPreferencesStore::setObject(std::string_view key, const PrefValue& value) {
    document_->object[std::string(key)] = toJson(value, 2);
    save();
}

void JsonPreferencesStore::removeObject(std::string_view key) {
    if (document_->object.erase(std::string(key)) > 0) {
        save();
    }
}

bool JsonPreferencesStore::moveCorruptFileAside() {
    // Behind a symbolic link the linked file is moved aside, beside itself, and the link stays for
    // the save that follows. A link that leads nowhere usable (a loop) is itself moved aside.
    const auto [resolveError, resolved] =
        user_ != 0 ? resolveSymbolicLinks(file_) : std::pair(0, file_);
    const std::filesystem::path& unusable = resolveError == 0 ? resolved : file_;
    // Found unusable at start-up, but someone else's by now.
    struct stat status {};
    if (::lstat(unusable.c_str(), &status) == 0 && status.st_uid != user_) {
        reportFailure("cannot move the unreadable preferences file " + file_.string() +
                          " aside, so not saving over it",
                      EPERM);
        return false;
    }
    const std::string base = unusable.string() + ".corrupt-" + utcStamp(options_.clock());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string target = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        const int error = renameWithoutReplacing(unusable, target);
        if (error == EEXIST) {
            continue;
        }
        // Someone removed the file meanwhile: nothing left to protect.
        if (error == 0 || error == ENOENT) {
            return true;
        }
        reportFailure("cannot move the unreadable preferences file " + file_.string() +
                          " aside, so not saving over it",
                      error);
        return false;
    }
    reportFailure("cannot move the unreadable preferences file " + file_.string() +
                      " aside, so not saving over it",
                  EEXIST);
    return false;
}

void JsonPreferencesStore::save() {
    if (refused_) {
        return;
    }
    if (corruptFilePending_) {
        if (!moveCorruptFileAside()) {
            return;
        }
        corruptFilePending_ = false;
    }
    // A string that is not UTF-8 is saved with replacement characters rather than losing the
    // whole save; nan and infinities become null.
    const std::string text =
        document_->object.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    if (const int error = replaceFileAtomically(file_, text, user_); error != 0) {
        reportFailure("cannot save preferences to " + file_.string(), error);
        return;
    }
    failureReported_ = false;
}

void JsonPreferencesStore::reportFailure(const std::string& what, int error) {
    if (failureReported_) {
        return;
    }
    failureReported_ = true;
    options_.report("tallowmere: " + what + ": " + std::strerror(error) +
                    " (changes are kept in memory until the program ends)");
}

}  // namespace tallowmere
