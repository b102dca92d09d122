// Drives the Qt event loop in tests: runs it until a condition holds.
#pragma once

#include <functional>

namespace tallowmere::linux_qt {

// Processes events until `done` holds; a generous guard (not a timing check) ends a test that
// would otherwise hang, and the result then is false.
bool spinUntil(const std::function<bool()>& done);

}  // namespace tallowmere::linux_qt
