// Replacing a file's contents so that a crash or a failure leaves either the old or the new file,
// never a mixture or a stray temporary.
#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string_view>

namespace tallowmere {

// The errno of the failed step, 0 on success. The file gets exactly `mode`; missing folders on
// the way are created with `folderMode`.
int replaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                          mode_t mode = 0600, mode_t folderMode = 0700);

}  // namespace tallowmere
