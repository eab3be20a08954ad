#include "fieldmenu.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>

#include <memory>

namespace Ordavex {

namespace {

bool hasShortcut(const QAction *action, QKeySequence::StandardKey key)
{
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    return !shortcut.isEmpty() && action->text().endsWith(u'\t' + shortcut);
}

} // namespace

void OfferEditingMenuOnly(QLineEdit *field)
{
    field->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(field, &QWidget::customContextMenuRequested, field, [field](const QPoint &at) {
        const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
        for (QAction *action : menu->actions()) {
            if (hasShortcut(action, QKeySequence::Undo) || hasShortcut(action, QKeySequence::Redo) || action->menu())
                menu->removeAction(action);
            else if (const qsizetype tab = action->text().indexOf(u'\t'); tab >= 0)
                action->setText(action->text().left(tab));
        }
        // No separator left at either end.
        while (!menu->actions().isEmpty() && menu->actions().constFirst()->isSeparator())
            menu->removeAction(menu->actions().constFirst());
        while (!menu->actions().isEmpty() && menu->actions().constLast()->isSeparator())
            menu->removeAction(menu->actions().constLast());
        menu->exec(field->mapToGlobal(at));
    });
}

} // namespace Ordavex
