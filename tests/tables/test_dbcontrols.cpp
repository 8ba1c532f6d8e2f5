// Data-bound controls driven as a user drives them: clicks on the grid,
// keys, typing into bound editors.

#include "platform/desktop.h"
#include "platform/paths.h"
#include "tables/dbcontrols.h"
#include "tables/table.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace platform;

namespace {

TableDef descripDef()
{
    return { QStringLiteral("tblDescrip"), QStringLiteral("DESCRIP.DB"),
        { { QStringLiteral("Placeid"), FieldType::Integer }, { QStringLiteral("Place"), FieldType::Text, 40 },
            { QStringLiteral("Memo"), FieldType::Memo, 100 } },
        { { QStringLiteral("tblDescripIndex1"), QStringLiteral("Placeid"), true, true, false },
            { QStringLiteral("ndxPlacename"), QStringLiteral("Place"), false, false, true } } };
}

TableDef pixDef()
{
    return { QStringLiteral("tblPix"), QStringLiteral("PIX.DB"),
        { { QStringLiteral("Filename"), FieldType::Text, 6, 0, true },
            { QStringLiteral("Caption"), FieldType::Text, 120 } },
        { { QStringLiteral("ndxFilename"), QStringLiteral("Filename"), false, true, true } } };
}

} // namespace

class TestDbControls : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<QWidget> m_window;
    DataSource* m_source = nullptr;
    DbGrid* m_grid = nullptr;
    DbMemo* m_memo = nullptr;
    DbEdit* m_edit = nullptr;
    DbText* m_text = nullptr;
    QStringList m_reported;

    void openTable(const TableDef& def, const QStringList& first, const QString& second)
    {
        Database::createTableFile(m_dir->path() + QStringLiteral("/Data/") + def.fileName, def);
        m_table = std::make_unique<Table>(m_db.get(), def);
        m_table->open();
        for (int i = 0; i < first.size(); ++i) {
            m_table->append();
            m_table->setFieldValue(def.fields[0].name,
                def.fields[0].type == FieldType::Integer ? QVariant(i) : QVariant(first[i]));
            m_table->setFieldValue(
                def.fields[1].name, def.fields[0].type == FieldType::Integer ? first[i] : second);
            m_table->post();
        }
        m_table->first();
    }

    // A window with a grid over the table's first text field and bound controls.
    void showControls(const QString& gridField, const QString& editField, const QString& memoField)
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(700, 400);
        m_source = new DataSource(m_table.get(), m_window.get());
        m_grid = new DbGrid(m_window.get());
        m_grid->setGeometry(0, 0, 300, 300);
        m_grid->setColumns({ { gridField, QStringLiteral("TITLE") } });
        m_grid->setDataSource(m_source);
        m_edit = new DbEdit(m_window.get());
        m_edit->setGeometry(310, 0, 200, 24);
        m_edit->bind(m_source, editField);
        m_memo = new DbMemo(m_window.get());
        m_memo->setGeometry(310, 30, 300, 200);
        m_memo->bind(m_source, memoField);
        m_text = new DbText(m_window.get());
        m_text->setGeometry(310, 240, 200, 20);
        m_text->bind(m_source, editField);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void places(const QStringList& names)
    {
        openTable(descripDef(), names, {});
        showControls(QStringLiteral("Place"), QStringLiteral("Place"), QStringLiteral("Memo"));
    }

    void clickRow(int row, Qt::MouseButton button = Qt::LeftButton)
    {
        const QRect rect = m_grid->visualRect(m_grid->model()->index(row, 0));
        QVERIFY2(rect.isValid(), "row not visible");
        QTest::mouseClick(m_grid->viewport(), button, {}, rect.center());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("Data")));
        DriveTable::instance().setDrive(QLatin1Char('C'), m_dir->path());
        DriveTable::instance().setAlias(QStringLiteral("Corvane3"), QStringLiteral("C:\\Data\\"));
        m_db = std::make_unique<Database>(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
        m_reported.clear();
        // A desktop whose inactive selection is grey: the grid must not use it.
        QPalette desktop = QApplication::palette();
        desktop.setColor(QPalette::Inactive, QPalette::Highlight, Qt::lightGray);
        QApplication::setPalette(desktop);
        setMessageBoxHandler([this](const MessageBoxRequest& request) {
            m_reported << request.text;
            return QMessageBox::Ok;
        });
    }

    void cleanup()
    {
        m_window.reset();
        m_table.reset();
        m_db.reset();
        m_dir.reset();
    }

    void memoTypingIsStoredByClickOnAnotherRow()
    {
        places({ QStringLiteral("Bath"), QStringLiteral("York"), QStringLiteral("Ely") });
        QSignalSpy clicks(m_grid, &DbGrid::cellClick);
        int rowAtClick = -1;
        connect(m_grid, &DbGrid::cellClick, this, [&] { rowAtClick = m_table->recNo(); });
        QTest::mouseClick(m_memo->viewport(), Qt::LeftButton);
        QTest::keyClicks(m_memo, QStringLiteral("Roman baths"));
        QCOMPARE(m_table->state(), Table::State::Edit);
        QVERIFY(m_table->modified());
        QCOMPARE(m_table->fieldAsString(QStringLiteral("Memo")), QStringLiteral("Roman baths"));
        clickRow(2);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(rowAtClick, 2);
        QCOMPARE(m_table->state(), Table::State::Browse);
        QCOMPARE(m_table->valueAt(0, 2).toString(), QStringLiteral("Roman baths"));
        QCOMPARE(m_memo->toPlainText(), QString());
        QCOMPARE(m_text->text(), QStringLiteral("Ely"));
        QCOMPARE(m_grid->currentIndex().row(), 2);
        m_table->close();
        m_table->open();
        QCOMPARE(m_table->fieldAsString(QStringLiteral("Memo")), QStringLiteral("Roman baths"));
    }

    // Renaming the current place moves it in the name order once stored; the
    // click still picks the place the user clicked on.
    void aClickAfterARenameReachesThePlaceClicked()
    {
        places({ QStringLiteral("A"), QStringLiteral("M"), QStringLiteral("Q") });
        m_table->setIndexName(QStringLiteral("ndxPlacename"));
        m_table->first();
        m_edit->selectAll();
        QTest::keyClicks(m_edit, QStringLiteral("Z"));
        QCOMPARE(m_grid->model()->index(1, 0).data().toString(), QStringLiteral("M"));
        clickRow(1);
        QCOMPARE(m_table->fieldAsString(QStringLiteral("Place")), QStringLiteral("M"));
        QCOMPARE(m_text->text(), QStringLiteral("M"));
        QCOMPARE(m_grid->currentIndex().row(), m_table->recNo());
        QCOMPARE(
            m_grid->model()->index(m_grid->currentIndex().row(), 0).data().toString(), QStringLiteral("M"));
        QVERIFY(m_reported.isEmpty());
    }

    void clicksOutsideDataCellsPickNothing()
    {
        places({ QStringLiteral("Bath"), QStringLiteral("York"), QStringLiteral("Ely") });
        QSignalSpy clicks(m_grid, &DbGrid::cellClick);
        QHeaderView* titles = m_grid->horizontalHeader();
        QHeaderView* indicator = m_grid->verticalHeader();
        QTest::mouseClick(
            titles->viewport(), Qt::LeftButton, {}, QPoint(titles->sectionViewportPosition(0) + 5, 5));
        QTest::mouseClick(
            indicator->viewport(), Qt::LeftButton, {}, QPoint(5, indicator->sectionViewportPosition(2) + 3));
        QTest::mouseClick(
            m_grid->viewport(), Qt::LeftButton, {}, QPoint(10, m_grid->viewport()->height() - 5));
        clickRow(1, Qt::RightButton);
        QCOMPARE(m_table->recNo(), 0);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(m_grid->selectionModel()->selectedRows().size(), 1);
        QVERIFY(m_grid->selectionModel()->isRowSelected(0, {}));
    }

    void keyboardMovesTheCursorWithoutCellClick()
    {
        places({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D") });
        QSignalSpy clicks(m_grid, &DbGrid::cellClick);
        m_grid->setFocus();
        QTest::keyClick(m_grid, Qt::Key_Down);
        QCOMPARE(m_table->recNo(), 1);
        QTest::keyClick(m_grid, Qt::Key_End);
        QCOMPARE(m_table->recNo(), 3);
        QTest::keyClick(m_grid, Qt::Key_Up);
        QCOMPARE(m_table->recNo(), 2);
        QTest::keyClick(m_grid, Qt::Key_Home);
        QCOMPARE(m_table->recNo(), 0);
        QTest::keyClick(m_grid, Qt::Key_PageDown);
        QCOMPARE(m_table->recNo(), 3);
        QCOMPARE(clicks.count(), 0);
        QVERIFY(m_grid->selectionModel()->isRowSelected(3, {}));
        QCOMPARE(m_text->text(), QStringLiteral("D"));
        // Typing never edits the grid.
        QTest::keyClicks(m_grid, QStringLiteral("xyz"));
        QCOMPARE(m_table->state(), Table::State::Browse);
    }

    void gridFollowsTheTableAndMarksTheCurrentRow()
    {
        places({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") });
        m_table->moveTo(2);
        QCOMPARE(m_grid->currentIndex().row(), 2);
        QAbstractItemModel* model = m_grid->model();
        QCOMPARE(model->headerData(2, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QString());
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("TITLE"));
        const QPalette colours = m_grid->palette();
        QCOMPARE(colours.color(QPalette::Inactive, QPalette::Highlight),
            colours.color(QPalette::Active, QPalette::Highlight));
        QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    }

    void refusedMoveKeepsTheTypedTextInTheEditor()
    {
        openTable(
            pixDef(), { QStringLiteral("000001"), QStringLiteral("000002") }, QStringLiteral("caption"));
        showControls(QStringLiteral("Filename"), QStringLiteral("Filename"), QStringLiteral("Caption"));
        m_table->moveTo(1);
        QSignalSpy clicks(m_grid, &DbGrid::cellClick);
        m_edit->selectAll();
        QTest::keyClicks(m_edit, QStringLiteral("000001"));
        clickRow(0);
        QCOMPARE(m_reported, QStringList { QStringLiteral("tblPix: Key violation.") });
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(m_table->recNo(), 1);
        QCOMPARE(m_grid->currentIndex().row(), 1);
        QCOMPARE(m_edit->text(), QStringLiteral("000001"));
        QCOMPARE(m_table->state(), Table::State::Edit);
    }

    void closedTableEmptiesControlsAndIgnoresTyping()
    {
        places({ QStringLiteral("Bath") });
        QCOMPARE(m_edit->text(), QStringLiteral("Bath"));
        m_table->close();
        QCOMPARE(m_edit->text(), QString());
        QVERIFY(m_edit->isReadOnly());
        QCOMPARE(m_memo->toPlainText(), QString());
        QCOMPARE(m_text->text(), QString());
        QCOMPARE(m_grid->model()->rowCount(), 0);
        QTest::keyClicks(m_edit, QStringLiteral("x"));
        m_memo->insertPlainText(QStringLiteral("pasted"));
        QCOMPARE(m_memo->toPlainText(), QString());
        QVERIFY(m_reported.isEmpty());
        m_table->open();
        QCOMPARE(m_edit->text(), QStringLiteral("Bath"));
        QVERIFY(!m_edit->isReadOnly());
    }

    void editAcceptsTheFieldObjectWidth()
    {
        places({ QStringLiteral("Bath") });
        QCOMPARE(m_edit->maxLength(), 40);
        m_edit->selectAll();
        QTest::keyClicks(m_edit, QString(45, QLatin1Char('x')));
        QCOMPARE(m_table->fieldAsString(QStringLiteral("Place")), QString(40, QLatin1Char('x')));
        QSignalSpy presses(m_edit, &DbEdit::mousePressed);
        QTest::mouseClick(m_edit, Qt::RightButton);
        QTest::mouseClick(m_memo->viewport(), Qt::MiddleButton);
        QCOMPARE(presses.count(), 1);
    }

    void typeAheadJumpsWithoutCellClick()
    {
        places({ QStringLiteral("Aberdeen"), QStringLiteral("Bath"), QStringLiteral("Bristol"),
            QStringLiteral("Cardiff") });
        m_grid->setIncrementalSearchField(QStringLiteral("Place"));
        QSignalSpy clicks(m_grid, &DbGrid::cellClick);
        m_grid->setFocus();
        QTest::keyClicks(m_grid, QStringLiteral("bR"));
        QCOMPARE(m_table->recNo(), 2);
        QTest::qWait(QApplication::keyboardInputInterval() + 100);
        QTest::keyClick(m_grid, Qt::Key_C);
        QCOMPARE(m_table->recNo(), 3);
        QCOMPARE(clicks.count(), 0);
    }

    void longValuesKeepTheirWholeTextAsToolTip()
    {
        const QString longName = QStringLiteral("Kirkcudbrightshire and the Stewartry");
        places({ longName });
        m_grid->setColumns({ { QStringLiteral("Place"), QStringLiteral("PLACE"), 40 },
            { QStringLiteral("Memo"), QStringLiteral("NOTE") } });
        QCOMPARE(m_grid->columnWidth(0), 40);
        QVERIFY(m_grid->columnWidth(1) > 40);
        m_grid->horizontalHeader()->resizeSection(1, 123); // as the user drags it
        m_table->append();
        m_table->post();
        QCOMPARE(m_grid->model()->rowCount(), 2);
        QCOMPARE(m_grid->columnWidth(1), 123);
        QVERIFY(m_table->findKey({ 0 })); // the blank record's NULL key sorts first
        const QModelIndex cell = m_grid->model()->index(m_table->recNo(), 0);
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), longName);
        QCOMPARE(cell.data(Qt::DisplayRole).toString(), longName);
    }

    void doubleClickEmitsCellDoubleClick()
    {
        places({ QStringLiteral("A"), QStringLiteral("B") });
        QSignalSpy doubles(m_grid, &DbGrid::cellDoubleClick);
        const QRect rect = m_grid->visualRect(m_grid->model()->index(1, 0));
        QTest::mouseDClick(m_grid->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(doubles.count(), 1);
        QCOMPARE(m_table->recNo(), 1);
    }

    void disabledControlsShowTheRecordOnlyAfterEnable()
    {
        places({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") });
        m_table->disableControls();
        m_table->next();
        m_table->next();
        QCOMPARE(m_text->text(), QStringLiteral("A"));
        QCOMPARE(m_grid->currentIndex().row(), 0);
        m_table->enableControls();
        QCOMPARE(m_text->text(), QStringLiteral("C"));
        QCOMPARE(m_grid->currentIndex().row(), 2);
    }
};

QTEST_MAIN(TestDbControls)
#include "test_dbcontrols.moc"
