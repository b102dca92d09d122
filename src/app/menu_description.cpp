// One line per menu for the --verbose trace.
#include "app/menu_description.h"

#include <QAction>
#include <QMenu>
#include <QStringList>

namespace tallowmere {

QString describeMenu(const QMenu& menu) {
    QStringList items;
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible()) {
            continue;
        }
        QString text = action->isSeparator() ? QStringLiteral("---") : action->text();
        if (action->isChecked()) {
            text.prepend(QString::fromUtf8("✓"));
        }
        if (!action->isEnabled()) {
            text = '[' + text + ']';
        }
        items << text;
    }
    return items.join('|');
}

}  // namespace tallowmere
