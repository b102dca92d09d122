// Replacing a file's contents so that a crash or a failure leaves either the old or the new file,
// never a mixture or a stray temporary.
#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string_view>
#include <utility>

namespace tallowmere {

// The path that `file` finally names once every symbolic link in its last component is followed
// (a relative link from the link's own folder), with 0; or ELOOP and `file` after 40 links.
// A path that is no link, or does not exist, names itself.
std::pair<int, std::filesystem::path> resolveSymbolicLinks(const std::filesystem::path& file);

// The errno of the failed step, 0 on success. The file gets exactly `mode`; missing folders on
// the way are created with `folderMode`. When `file` is a symbolic link, the file it leads to is
// replaced, from a temporary beside it, and the link stays: configuration kept in a dotfile
// manager's folder remains there. For root (`user` 0) a link is refused with ELOOP, since it may
// lead anywhere; a file that `user` does not own is never replaced (EPERM).
int replaceFileAtomically(const std::filesystem::path& file, std::string_view contents, uid_t user,
                          mode_t mode = 0600, mode_t folderMode = 0700);

}  // namespace tallowmere
