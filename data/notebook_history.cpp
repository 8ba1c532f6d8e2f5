#include "data/notebook_history.h"

#include "core/forms.h"
#include "core/shell.h"
#include "data/datamod1.h"
#include "platform/errors.h"
#include "tables/table.h"

#include <QPointer>
#include <QUndoStack>

#include <utility>

namespace corvane {

namespace {

struct Closer {
    QPointer<QObject> owner;
    std::function<void()> close;
};

QList<Closer>& closers()
{
    static QList<Closer> list;
    return list;
}

bool g_stepRunning = false;

template <typename F> void runStep(F&& step)
{
    closeTypingGroups();
    const bool outer = std::exchange(g_stepRunning, true);
    try {
        step();
    } catch (...) {
        g_stepRunning = outer;
        throw;
    }
    g_stepRunning = outer;
}

} // namespace

QUndoStack* notebookHistory()
{
    const QString name = QStringLiteral("notebookHistory");
    auto* stack = DataModule1->findChild<QUndoStack*>(name, Qt::FindDirectChildrenOnly);
    if (stack)
        return stack;
    stack = new QUndoStack(DataModule1);
    stack->setObjectName(name);
    QObject::connect(DataModule1, &TDataModule1::userTablesReplaced, stack,
        [] { clearNotebookHistory(QObject::tr("Undo history cleared: your tables were replaced.")); });
    return stack;
}

void pushNotebookStep(QUndoCommand* step)
{
    closeTypingGroups();
    notebookHistory()->push(step);
}

void undoNotebookStep()
{
    runStep([] { notebookHistory()->undo(); });
}

void redoNotebookStep()
{
    runStep([] { notebookHistory()->redo(); });
}

bool notebookStepRunning()
{
    return g_stepRunning;
}

void clearNotebookHistory(const QString& why)
{
    QUndoStack* stack = notebookHistory();
    if (stack->count() == 0)
        return;
    stack->clear();
    shell().showStatus(why);
}

void addTypingGroupCloser(QObject* owner, std::function<void()> close)
{
    closers() << Closer { owner, std::move(close) };
}

void closeTypingGroups()
{
    QList<Closer>& list = closers();
    list.removeIf([](const Closer& c) { return c.owner.isNull(); });
    for (const Closer& c : std::as_const(list))
        c.close();
}

bool moveToRecord(platform::Table* table, const QString& keyField, const QVariant& key)
{
    if (!table->active())
        table->open();
    const QList<int> rows = table->rowsWhere(keyField, key);
    if (rows.isEmpty())
        return false;
    if (table->recNo() != rows.first())
        table->moveTo(rows.first());
    return true;
}

FieldStep::FieldStep(platform::Table* table, QString keyField, QVariant key, QStringList fields,
    QVariantList before, QVariantList after, const QString& text)
    : QUndoCommand(text)
    , m_table(table)
    , m_keyField(std::move(keyField))
    , m_key(std::move(key))
    , m_fields(std::move(fields))
    , m_before(std::move(before))
    , m_after(std::move(after))
{
}

void FieldStep::undo()
{
    store(m_before);
}

void FieldStep::redo()
{
    if (std::exchange(m_done, false))
        return;
    store(m_after);
}

void FieldStep::store(const QVariantList& values)
{
    if (!moveToRecord(m_table, m_keyField, m_key))
        throw platform::AppError(
            QObject::tr("This cannot be undone: the record it changed is no longer there (%1).").arg(text()));
    if (m_table->state() == platform::Table::State::Browse)
        m_table->edit();
    try {
        for (qsizetype i = 0; i < m_fields.size(); ++i)
            m_table->setFieldValue(m_fields[i], values.value(i));
        m_table->post();
    } catch (...) {
        m_table->cancel();
        throw;
    }
}

} // namespace corvane
