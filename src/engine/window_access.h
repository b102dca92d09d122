// Reads of other applications' windows: whether a window may be arranged, and its rectangle.
// Every read is either a value of the expected kind or absent; nothing is cached or retried.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"
#include "platform/workspace.h"

namespace tallowmere {

class WindowAccess {
  public:
    WindowAccess(Accessibility& accessibility, Workspace& workspace)
        : ax_(accessibility), workspace_(workspace) {}

    bool isStandardWindow(const AXElement& window, Pid pid) const;
    std::optional<Point> readPosition(const AXElement& window) const;
    std::optional<Size> readSize(const AXElement& window) const;
    std::optional<std::vector<AXElement>> readWindows(const AXElement& application) const;
    std::optional<bool> readMinimized(const AXElement& window) const;

  private:
    std::optional<AXAttributeValue> read(const AXElement& element,
                                         std::string_view attribute) const;
    std::optional<std::string> readString(const AXElement& element,
                                          std::string_view attribute) const;
    std::optional<AXValue> readValue(const AXElement& element, std::string_view attribute,
                                     AXValueType type) const;

    Accessibility& ax_;
    Workspace& workspace_;
};

}  // namespace tallowmere
