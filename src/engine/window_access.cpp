#include "engine/window_access.h"

#include <cmath>

namespace tallowmere {
namespace {

// File dialogs identify themselves so; they are never part of a row.
constexpr std::string_view kExcludedWindowIdentifiers[] = {"open-panel"};

bool isExcluded(const std::optional<std::string>& identifier) {
    if (!identifier) {
        return false;
    }
    for (std::string_view excluded : kExcludedWindowIdentifiers) {
        if (*identifier == excluded) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<AXAttributeValue> WindowAccess::read(const AXElement& element,
                                                   std::string_view attribute) const {
    AXReadResult result = ax_.copyAttributeValue(element, attribute);
    if (result.error != kAXErrorSuccess) {
        return std::nullopt;
    }
    return std::move(result.value);
}

std::optional<std::string> WindowAccess::readString(const AXElement& element,
                                                    std::string_view attribute) const {
    auto value = read(element, attribute);
    if (!value) {
        return std::nullopt;
    }
    if (auto* text = std::get_if<std::string>(&*value)) {
        return std::move(*text);
    }
    return std::nullopt;
}

std::optional<AXValue> WindowAccess::readValue(const AXElement& element, std::string_view attribute,
                                               AXValueType type) const {
    auto value = read(element, attribute);
    if (!value) {
        return std::nullopt;
    }
    const auto* wrapped = std::get_if<AXValue>(&*value);
    if (!wrapped || wrapped->type != type) {
        return std::nullopt;
    }
    // A misbehaving window system can report NaN or infinite geometry; taken as is it would send
    // every window of the row to a NaN position.
    if (!std::isfinite(wrapped->first) || !std::isfinite(wrapped->second)) {
        return std::nullopt;
    }
    return *wrapped;
}

bool WindowAccess::isStandardWindow(const AXElement& window, Pid pid) const {
    if (readString(window, "AXSubrole") != "AXStandardWindow") {
        return false;
    }
    const std::optional<std::string> identifier = readString(window, "AXIdentifier");
    if (isExcluded(identifier)) {
        return false;
    }
    const auto application = workspace_.runningApplication(pid);
    if (!application || application->bundleIdentifier != "com.apple.finder") {
        return true;
    }
    // Finder lists its desktop and other panels as standard windows too; only browser windows
    // carry this identifier.
    return identifier == "FinderWindow";
}

std::optional<Point> WindowAccess::readPosition(const AXElement& window) const {
    auto value = readValue(window, "AXPosition", AXValueType::cgPoint);
    return value ? std::optional(Point{value->first, value->second}) : std::nullopt;
}

std::optional<Size> WindowAccess::readSize(const AXElement& window) const {
    auto value = readValue(window, "AXSize", AXValueType::cgSize);
    return value ? std::optional(Size{value->first, value->second}) : std::nullopt;
}

std::optional<std::vector<AXElement>> WindowAccess::readWindows(
    const AXElement& application) const {
    auto value = read(application, "AXWindows");
    if (!value) {
        return std::nullopt;
    }
    if (auto* list = std::get_if<std::vector<AXElement>>(&*value)) {
        return std::move(*list);
    }
    return std::nullopt;
}

std::optional<bool> WindowAccess::readMinimized(const AXElement& window) const {
    auto value = read(window, "AXMinimized");
    if (!value) {
        return std::nullopt;
    }
    if (auto* flag = std::get_if<bool>(&*value)) {
        return *flag;
    }
    return std::nullopt;
}

}  // namespace tallowmere
