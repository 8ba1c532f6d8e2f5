#include "tables/dbcontrols.h"

#include "platform/error_report.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIntValidator>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolTip>

#include <algorithm>

namespace platform {

namespace {

const QString kCurrentRowMarker = QStringLiteral("\u25B6");

Table* tableOf(const DataSource* source)
{
    return source ? source->table() : nullptr;
}

// The field of the current record as a bound control shows it, pending
// change included; empty while the table is closed or empty.
QString currentText(const DataSource* source, const QString& field)
{
    Table* table = tableOf(source);
    if (!table || !table->active() || table->recNo() < 0)
        return {};
    return table->valueAt(table->recNo(), table->fieldIndex(field)).toString();
}

// Reconnects a control to the signals of the table it shows.
template <typename Control>
void connectRefresh(Control* control, Table* previous, Table* table, void (Control::*refresh)())
{
    if (previous)
        QObject::disconnect(previous, nullptr, control, nullptr);
    if (!table)
        return;
    QObject::connect(table, &Table::currentRecordChanged, control, refresh);
    QObject::connect(table, &Table::dataSetChanged, control, refresh);
}

// Reports a refusal of the table like any handler error; false if refused.
template <typename F> bool attempt(F&& step)
{
    bool done = false;
    guarded([&] {
        step();
        done = true;
    });
    return done;
}

} // namespace

DataSource::DataSource(Table* table, QObject* parent)
    : QObject(parent)
    , m_table(table)
{
}

// ---------------------------------------------------------------- grid model

namespace {

// The table's rows as a read-only item model; holds no data of its own.
class TableModel : public QAbstractTableModel {
public:
    struct BoundColumn {
        int field = -1;
        DbGrid::Column column;
    };

    using QAbstractTableModel::QAbstractTableModel;

    QPointer<Table> table;
    QList<BoundColumn> columns;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !table ? 0 : table->rowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(columns.size());
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!table || !index.isValid() || index.column() >= columns.size())
            return {};
        const BoundColumn& bound = columns[index.column()];
        switch (role) {
        case Qt::DisplayRole:
            return table->valueAt(index.row(), bound.field).toString();
        case Qt::ToolTipRole: {
            const QString text = table->valueAt(index.row(), bound.field).toString();
            return text.isEmpty() ? QVariant() : QVariant(text);
        }
        case Qt::FontRole:
            return bound.column.fontSet ? QVariant(bound.column.font) : QVariant();
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Vertical) {
            if (role == Qt::DisplayRole)
                return table && section == table->recNo() ? kCurrentRowMarker : QString();
            if (role == Qt::TextAlignmentRole)
                return int(Qt::AlignCenter);
            return {};
        }
        if (section < 0 || section >= columns.size())
            return {};
        const DbGrid::Column& column = columns[section].column;
        if (role == Qt::DisplayRole)
            return column.title;
        if (role == Qt::TextAlignmentRole)
            return int(column.titleAlignment);
        return {};
    }

    void resetRows()
    {
        beginResetModel();
        markedRow = table ? table->recNo() : -1;
        endResetModel();
    }

    void refreshValues()
    {
        const int rows = rowCount();
        if (rows > 0 && !columns.isEmpty())
            emit dataChanged(index(0, 0), index(rows - 1, int(columns.size()) - 1));
        // Only the rows that lose and gain the marker need repainting.
        const int current = table ? table->recNo() : -1;
        for (const int row : { markedRow, current }) {
            if (row >= 0 && row < rows)
                emit headerDataChanged(Qt::Vertical, row, row);
        }
        markedRow = current;
    }

    int markedRow = -1;
};

} // namespace

// ---------------------------------------------------------------- DbGrid

struct DbGrid::Impl {
    TableModel* model = nullptr;
    QPointer<DataSource> source;
    QList<Column> columns;
    QString searchField;
    QString searchText;
    QElapsedTimer searchClock;
    bool pressed = false; // a press on a data cell made its row current
};

DbGrid::DbGrid(QWidget* parent)
    : QTableView(parent)
    , d(std::make_unique<Impl>())
{
    d->model = new TableModel(this);
    setModel(d->model);
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    // Titles and the indicator column are not pickable: a click there must
    // neither select nor move.
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The current record stays marked while another control has the focus.
    QPalette colours = palette();
    for (const auto role : { QPalette::Highlight, QPalette::HighlightedText })
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
    applyColumns();
}

DbGrid::~DbGrid() = default;

Table* DbGrid::table() const
{
    return d->model->table;
}

DataSource* DbGrid::dataSource() const
{
    return d->source;
}

void DbGrid::setDataSource(DataSource* source)
{
    if (Table* previous = table())
        disconnect(previous, nullptr, this, nullptr);
    d->source = source;
    d->model->table = tableOf(source);
    if (Table* t = table()) {
        connect(t, &Table::dataSetChanged, this, [this] {
            // Rows come and go; the columns keep the widths the user gave them.
            QList<int> widths;
            for (int i = 0; i < d->model->columnCount(); ++i)
                widths << columnWidth(i);
            d->model->resetRows();
            for (int i = 0; i < widths.size(); ++i)
                setColumnWidth(i, widths[i]);
            followTable();
        });
        connect(t, &QObject::destroyed, d->model, &TableModel::resetRows);
        connect(t, &Table::currentRecordChanged, this, [this] {
            d->model->refreshValues();
            followTable();
        });
    }
    setColumns(d->columns);
}

void DbGrid::setColumns(const QList<Column>& columns)
{
    d->columns = columns;
    QList<TableModel::BoundColumn> bound;
    Table* t = table();
    QList<Column> shown = columns;
    if (shown.isEmpty() && t) {
        for (const FieldDef& field : t->def().fields)
            shown << Column { field.name, field.name };
    }
    for (const Column& column : shown)
        bound << TableModel::BoundColumn { t ? t->fieldIndex(column.field) : -1, column };
    d->model->columns = bound;
    d->model->resetRows();
    applyColumns();
    followTable();
}

void DbGrid::setTitleFont(const QFont& font)
{
    horizontalHeader()->setFont(font);
}

void DbGrid::setIncrementalSearchField(const QString& field)
{
    d->searchField = field;
    d->searchText.clear();
}

// Column widths in pixels, or from the field object's width in average
// characters of the cell font; row height from the largest cell font.
void DbGrid::applyColumns()
{
    const Table* t = table();
    int rowHeight = fontMetrics().height();
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    for (int i = 0; i < d->model->columns.size(); ++i) {
        const TableModel::BoundColumn& bound = d->model->columns[i];
        const QFontMetrics metrics(bound.column.fontSet ? bound.column.font : font());
        rowHeight = std::max(rowHeight, metrics.height());
        int width = bound.column.width;
        if (width < 0 && t && bound.field >= 0) {
            const FieldDef& field = t->def().fields[bound.field];
            int characters = field.displayWidth > 0 ? field.displayWidth : field.storedWidth;
            if (field.type == FieldType::Integer && characters <= 0)
                characters = 11;
            width = std::max(characters, 1) * metrics.averageCharWidth() + margin;
        }
        if (width >= 0)
            setColumnWidth(i, width);
    }
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(rowHeight + 4);
    const int headerMargin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    verticalHeader()->setMinimumWidth(
        fontMetrics().horizontalAdvance(kCurrentRowMarker) + 2 * headerMargin + 4);
}

// Puts the selection on the table's current record and scrolls it into view.
void DbGrid::followTable()
{
    const Table* t = table();
    const int row = t && t->active() ? t->recNo() : -1;
    if (row < 0 || row >= d->model->rowCount() || d->model->columnCount() == 0) {
        selectionModel()->clear();
        return;
    }
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    const QModelIndex index = d->model->index(row, std::min(column, d->model->columnCount() - 1));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

// Moves the table's cursor (which stores a pending change first); a refusal
// is reported and the grid stays on the table's record.
void DbGrid::moveTableTo(int row)
{
    Table* t = table();
    if (!t)
        return;
    if (!attempt([&] { t->moveTo(row); }))
        followTable();
}

QModelIndex DbGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    Table* t = table();
    if (!t || !t->active() || d->model->columnCount() == 0)
        return {};
    // With whole rows selected, Home and End go to the first and last record.
    if (cursorAction == MoveHome || cursorAction == MoveEnd)
        modifiers |= Qt::ControlModifier;
    const QModelIndex target = QTableView::moveCursor(cursorAction, modifiers);
    if (target.isValid() && target.row() != t->recNo())
        moveTableTo(target.row());
    const int column = target.isValid() ? target.column() : std::max(0, currentIndex().column());
    return d->model->index(t->recNo(), column);
}

void DbGrid::keyboardSearch(const QString& search)
{
    Table* t = table();
    if (d->searchField.isEmpty() || !t || !t->active() || search.isEmpty() || !search.at(0).isPrint())
        return;
    if (!d->searchClock.isValid() || d->searchClock.elapsed() > QApplication::keyboardInputInterval())
        d->searchText.clear();
    d->searchClock.start();
    d->searchText += search;
    int field = -1;
    if (!attempt([&] { field = t->fieldIndex(d->searchField); }))
        return;
    for (int row = 0; row < t->rowCount(); ++row) {
        if (t->valueAt(row, field).toString().startsWith(d->searchText, Qt::CaseInsensitive)) {
            if (row != t->recNo())
                moveTableTo(row);
            return;
        }
    }
}

void DbGrid::mousePressEvent(QMouseEvent* event)
{
    d->pressed = false;
    event->accept();
    const QModelIndex index = indexAt(event->position().toPoint());
    Table* t = table();
    if (event->button() != Qt::LeftButton || !index.isValid() || !t || !t->active())
        return;
    if (focusPolicy() & Qt::ClickFocus)
        setFocus(Qt::MouseFocusReason);
    d->pressed = attempt([&] { t->moveTo(index.row()); });
    followTable();
}

void DbGrid::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const bool clicked = d->pressed && event->button() == Qt::LeftButton;
    d->pressed = false;
    if (clicked)
        emit cellClick();
}

void DbGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    const QModelIndex index = indexAt(event->position().toPoint());
    Table* t = table();
    if (event->button() != Qt::LeftButton || !index.isValid() || !t || !t->active())
        return;
    // The press before it normally made the row current already.
    const bool onRow = attempt([&] { t->moveTo(index.row()); });
    followTable();
    if (onRow)
        emit cellDoubleClick();
}

void DbGrid::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging must not select other rows than the table's current one.
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTableView::mouseMoveEvent(event);
}

// A cell whose value does not fit shows it whole as its tool tip; elsewhere
// the grid's own hint shows.
bool DbGrid::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    QString text;
    if (index.isValid()) {
        const QString value = index.data(Qt::ToolTipRole).toString();
        const QVariant cellFont = index.data(Qt::FontRole);
        const QFontMetrics metrics(cellFont.isValid() ? cellFont.value<QFont>() : font());
        const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
        if (metrics.horizontalAdvance(value) > visualRect(index).width() - margin)
            text = value;
    }
    if (text.isEmpty())
        text = toolTip();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    return true;
}

// ---------------------------------------------------------------- DbText

DbText::DbText(QWidget* parent)
    : QLabel(parent)
{
}

void DbText::bind(DataSource* source, const QString& field)
{
    connectRefresh(this, tableOf(m_source), tableOf(source), &DbText::refresh);
    m_source = source;
    m_field = field;
    refresh();
}

void DbText::refresh()
{
    setText(currentText(m_source, m_field));
}

// ---------------------------------------------------------------- DbEdit

namespace {

// What a bound editor does with typed text: put the current record into
// editing and make the text a pending change. False when the table is
// closed or refused, so the editor shows the record's value again.
bool writeTyped(DataSource* source, const QString& field, const QString& value)
{
    Table* t = tableOf(source);
    if (!t || !t->active())
        return false;
    return attempt([&] {
        if (t->state() == Table::State::Browse)
            t->edit();
        t->setFieldValue(field, value);
    });
}

} // namespace

DbEdit::DbEdit(QWidget* parent)
    : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, &DbEdit::typed);
}

void DbEdit::bind(DataSource* source, const QString& field)
{
    connectRefresh(this, tableOf(m_source), tableOf(source), &DbEdit::refresh);
    m_source = source;
    m_field = field;
    if (Table* t = tableOf(source)) {
        const FieldDef& def = t->def().fields[t->fieldIndex(field)];
        const int width = def.displayWidth > 0 ? def.displayWidth : def.storedWidth;
        if (def.type == FieldType::Integer) {
            setValidator(new QIntValidator(this));
            setMaxLength(11);
        } else if (def.type == FieldType::Text && width > 0) {
            setMaxLength(width);
        }
    }
    refresh();
}

void DbEdit::refresh()
{
    if (m_typing)
        return;
    const Table* t = tableOf(m_source);
    setReadOnly(!t || !t->active());
    const QString value = currentText(m_source, m_field);
    if (text() != value)
        setText(value);
}

void DbEdit::typed(const QString& text)
{
    m_typing = true;
    const bool done = writeTyped(m_source, m_field, text);
    m_typing = false;
    if (!done)
        refresh();
}

void DbEdit::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    emit mousePressed();
}

// ---------------------------------------------------------------- DbMemo

DbMemo::DbMemo(QWidget* parent)
    : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::textChanged, this, &DbMemo::typed);
}

void DbMemo::bind(DataSource* source, const QString& field)
{
    connectRefresh(this, tableOf(m_source), tableOf(source), &DbMemo::refresh);
    m_source = source;
    m_field = field;
    refresh();
}

void DbMemo::refresh()
{
    if (m_typing)
        return;
    const Table* t = tableOf(m_source);
    setReadOnly(!t || !t->active());
    QString value = currentText(m_source, m_field);
    value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (toPlainText() != value) {
        m_refreshing = true;
        setPlainText(value);
        m_refreshing = false;
    }
}

void DbMemo::typed()
{
    if (m_refreshing)
        return;
    m_typing = true;
    const bool done = writeTyped(m_source, m_field, toPlainText());
    m_typing = false;
    if (!done)
        refresh();
}

void DbMemo::mousePressEvent(QMouseEvent* event)
{
    QPlainTextEdit::mousePressEvent(event);
    emit mousePressed();
}

void DbMemo::insertFromMimeData(const QMimeData* source)
{
    if (!source->formats().isEmpty())
        QPlainTextEdit::insertFromMimeData(source);
}

} // namespace platform
