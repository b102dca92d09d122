// A menu's visible items as one line of text, so that a --verbose run can say what a popup showed
// to a reader who cannot see its pixels (end-to-end tests, bug reports).
#pragma once

#include <QString>

class QMenu;

namespace tallowmere {

// Visible items joined by "|": a separator as "---", a checked item prefixed with "✓", a disabled
// item in square brackets.
QString describeMenu(const QMenu& menu);

}  // namespace tallowmere
