// The descriptions window's Edit menu: undo and redo of the notebook's
// changes, named by what they will undo, and the bin of deleted places;
// and the typing groups of its three text fields.
#include "places/notes.h"

#include "ui_notes.h"

#include "places/bin_window.h"
#include "places/notes_steps.h"
#include "places/undo_steps.h"

#include "core/shared.h"
#include "data/place_pins.h"
#include "platform/error_report.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QUndoStack>

namespace corvane {

using namespace notes;

namespace {

QAction* historyItem(QMenu* menu, QWidget* form, const char* name, QList<QKeySequence> keys)
{
    auto* action = new QAction(menu);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    menu->addAction(action);
    form->addAction(action); // the keys work wherever the window has the focus
    return action;
}

// Keeps the label of an undo or redo item in step with the history.
void follow(QAction* action, QUndoStack* stack, const QString& verb, bool undo)
{
    const auto update = [=] {
        const QString what = undo ? stack->undoText() : stack->redoText();
        action->setEnabled(undo ? stack->canUndo() : stack->canRedo());
        action->setText(what.isEmpty() ? verb : verb + QLatin1Char(' ') + what);
    };
    QObject::connect(stack, &QUndoStack::indexChanged, action, update);
    QObject::connect(stack, &QUndoStack::cleanChanged, action, update);
    update();
}

} // namespace

void TfrmNotes::setUpHistory()
{
    auto* edit = new QMenu(tr("&Edit"), this);
    edit->setObjectName(QStringLiteral("mnuEdit"));
    edit->menuAction()->setObjectName(QStringLiteral("mnuEdit"));
    menu.bar->insertMenu(menu.mnuHelp->menuAction(), edit);
    QUndoStack* stack = notebookHistory();
    QAction* undo = historyItem(edit, this, "mnuUndo", { QKeySequence::Undo });
    QAction* redo = historyItem(edit, this, "mnuRedo",
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    follow(undo, stack, tr("Undo"), true);
    follow(redo, stack, tr("Redo"), false);
    connect(undo, &QAction::triggered, this, [] { platform::guarded(undoNotebookStep); });
    connect(redo, &QAction::triggered, this, [] { platform::guarded(redoNotebookStep); });
    edit->addSeparator();
    QAction* bin = edit->addAction(tr("Deleted places..."));
    bin->setObjectName(QStringLiteral("mnuDeletedPlaces"));
    connect(bin, &QAction::triggered, this, [] { platform::guarded([] { TfrmBin::showBin(); }); });

    new TypingGroup(
        descrip(), QStringLiteral("Placeid"), QStringLiteral("Memo"),
        [](const QVariant&) { return tr("typing in %1").arg(quotedPlace(vPlaceName)); }, this);
    new TypingGroup(
        descrip(), QStringLiteral("Placeid"), QStringLiteral("Place"),
        [](const QVariant& before) { return tr("rename of %1").arg(quotedPlace(before.toString())); }, this);
    new TypingGroup(
        pix(), QStringLiteral("Filename"), QStringLiteral("Caption"),
        [](const QVariant&) {
            return tr("caption of picture %1").arg(pix()->fieldAsString(QStringLiteral("Filename")));
        },
        this);
    // The text fields keep their own undo out of the way of the notebook's.
    for (QWidget* field :
        std::initializer_list<QWidget*> { ui->dbmemoDescrip, ui->dbedPlace, ui->dbmemoCaption })
        field->installEventFilter(this);
}

// Ctrl+Z in a text field is the notebook's undo, not the field's own.
bool TfrmNotes::isHistoryKey(QObject* watched, QEvent* event) const
{
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    if (watched != ui->dbmemoDescrip && watched != ui->dbedPlace && watched != ui->dbmemoCaption)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    return key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)
        || key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z)
        || key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
}

} // namespace corvane
