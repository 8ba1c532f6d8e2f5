#pragma once
// The notebook's undo history for the run: one QUndoStack for every window
// that changes places, descriptions, captions, pictures and pins. Cleared
// (with a word in the status line) when the user tables are replaced by a
// restore, an import or "Go back", since its steps name records that are
// gone then.
//
// Typing is grouped: a window registers a closer for each text it groups,
// and every new step, undo and redo first closes the open groups, so the
// history never runs ahead of what was typed.

#include <QList>
#include <QString>
#include <QUndoCommand>
#include <QVariant>

#include <functional>

class QObject;
class QUndoStack;

namespace platform {
class Table;
}

namespace corvane {

// The data module's history; made on first use.
QUndoStack* notebookHistory();
// Closes the open typing groups, then pushes the step (which must not
// change anything on its first redo: the change is already made).
void pushNotebookStep(QUndoCommand* step);
// Closes the open typing groups, then undoes or redoes one step.
void undoNotebookStep();
void redoNotebookStep();
// Empties the history and says why in the frame's status line.
void clearNotebookHistory(const QString& why);

// Registers a closer of a typing group; forgotten when owner goes.
void addTypingGroupCloser(QObject* owner, std::function<void()> close);
void closeTypingGroups();
// True while a step is being undone or redone: what it stores is no typing.
bool notebookStepRunning();

// A change of fields of one record of DESCRIP.DB or PIX.DB, found by the
// value of a key field (Placeid, Filename). Undo stores the values before,
// redo those after; a record that is gone is an AppError.
class FieldStep : public QUndoCommand {
public:
    FieldStep(platform::Table* table, QString keyField, QVariant key, QStringList fields, QVariantList before,
        QVariantList after, const QString& text);
    void undo() override;
    void redo() override;

private:
    void store(const QVariantList& values);
    platform::Table* m_table;
    QString m_keyField;
    QVariant m_key;
    QStringList m_fields;
    QVariantList m_before;
    QVariantList m_after;
    bool m_done = true; // pushed after the change was made
};

// Makes the record whose keyField holds key current; false when none does.
bool moveToRecord(platform::Table* table, const QString& keyField, const QVariant& key);

} // namespace corvane
