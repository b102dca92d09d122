// The stand-ins for the ports KWin does not serve yet.
#include "platform/linux/kwin/unserved_ports.h"

namespace tallowmere::kwin {
namespace {

// Carbon's eventInternalErr: not "taken by another program", which would mislead.
constexpr OSStatus kEventInternalErr = -9868;

}  // namespace

RegisterHotKeyResult UnavailableHotKeys::registerHotKey(std::uint32_t, std::uint32_t,
                                                        EventHotKeyID) {
    return {kEventInternalErr, nullptr};
}

}  // namespace tallowmere::kwin
