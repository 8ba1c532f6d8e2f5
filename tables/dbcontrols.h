#pragma once
// Data sources and data-bound controls over a Table: a read-only grid, a
// bound text, a bound one-line edit and a bound memo. Typing into a bound
// editor puts the table's current record into editing and makes a pending
// change; the table stores it on the next move.

#include "tables/table.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>

#include <memory>

namespace platform {

// dtaXxx: what controls bind to.
class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(Table* table, QObject* parent = nullptr);
    Table* table() const { return m_table; }

private:
    QPointer<Table> m_table;
};

// Read-only grid: title row, row indicator column marking the current record,
// whole-row selection that stays marked without focus, resizable columns.
// Keyboard moves move the table's cursor; only a mouse click on a data cell
// emits cellClick (after the clicked row became current).
class DbGrid : public QTableView {
    Q_OBJECT
public:
    explicit DbGrid(QWidget* parent = nullptr);
    ~DbGrid() override;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const;

    struct Column {
        QString field;
        QString title;
        int width = -1; // -1: from the field object's width
        QFont font = {}; // cell font; default: the grid's
        bool fontSet = false;
        Qt::Alignment titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    };
    void setColumns(const QList<Column>& columns);
    void setTitleFont(const QFont& font);

    // Typing letters jumps to the first row whose value of this field starts
    // with what was typed (as file managers do). Empty: off.
    void setIncrementalSearchField(const QString& field);

signals:
    void cellClick();
    void cellDoubleClick();

protected:
    void keyboardSearch(const QString& search) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    Table* table() const;
    void moveTableTo(int row);
    void followTable();
    void applyColumns();
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Shows one field of the current record; empty while the table is closed
// or empty.
class DbText : public QLabel {
    Q_OBJECT
public:
    explicit DbText(QWidget* parent = nullptr);
    void bind(DataSource* source, const QString& field);

private:
    void refresh();
    QPointer<DataSource> m_source;
    QString m_field;
};

// Edits one field of the current record; accepts at most the field object's
// width in characters. Empty and read-only while the table is closed.
class DbEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DbEdit(QWidget* parent = nullptr);
    void bind(DataSource* source, const QString& field);

signals:
    void mousePressed(); // any button; for the palette's paste hand-off

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void refresh();
    void typed(const QString& text);
    QPointer<DataSource> m_source;
    QString m_field;
    bool m_typing = false;
};

// Edits a memo or text field of the current record, any length.
class DbMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DbMemo(QWidget* parent = nullptr);
    void bind(DataSource* source, const QString& field);

signals:
    void mousePressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // A paste of nothing (an X11 clipboard that no program holds) inserts
    // nothing; Qt 6.4's own editor crashes on it.
    void insertFromMimeData(const QMimeData* source) override;

private:
    void refresh();
    void typed();
    QPointer<DataSource> m_source;
    QString m_field;
    bool m_refreshing = false;
    bool m_typing = false;
};

} // namespace platform
