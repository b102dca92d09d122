#include "platform/linux/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace tallowmere {
namespace {

int createMissingFolders(const std::filesystem::path& folder, mode_t mode) {
    std::filesystem::path prefix;
    for (const auto& part : folder) {
        prefix /= part;
        if (::mkdir(prefix.c_str(), mode) == 0 || errno == EEXIST) {
            continue;
        }
        // An existing folder may still be refused (EACCES in a folder we cannot write).
        const int error = errno;
        struct stat status {};
        if (::stat(prefix.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            return error;
        }
    }
    return 0;
}

int writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Makes the rename itself durable. The new file is already in place when this runs, so a
// failure here is not worth failing the save for.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::pair<int, std::filesystem::path> resolveSymbolicLinks(const std::filesystem::path& file) {
    std::filesystem::path current = file;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return {0, current};
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return {error.value(), file};
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return {ELOOP, file};
}

int replaceFileAtomically(const std::filesystem::path& link, std::string_view contents, uid_t user,
                          mode_t mode, mode_t folderMode) {
    struct stat status {};
    if (user == 0 && ::lstat(link.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        return ELOOP;
    }
    const auto [linkError, file] = resolveSymbolicLinks(link);
    if (linkError != 0) {
        return linkError;
    }
    // The rename would hand someone else's file over to us.
    if (::lstat(file.c_str(), &status) == 0 && status.st_uid != user) {
        return EPERM;
    }
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    if (const int error = createMissingFolders(folder, folderMode); error != 0) {
        return error;
    }
    // Same folder, so that the rename cannot cross file systems.
    // Appended piece by piece: GCC 12 at -O3 misreads "." + std::string as an overlapping copy
    // (-Wrestrict).
    std::string name = ".";
    name += file.filename().string();
    name += ".tmp-XXXXXX";
    std::string temporary = (folder / name).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    // mkostemp's 0600 is narrowed by the umask; the file must end up with exactly `mode`.
    if (::fchmod(fd, mode) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = writeAll(fd, contents);
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(folder);
    return 0;
}

}  // namespace tallowmere
