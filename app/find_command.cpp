#include "app/find_command.h"

#include "aids/abbrev.h"
#include "app/commands.h"
#include "app/main_form.h"
#include "app/toolbar_icons.h"
#include "app/views.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/search_indexer.h"
#include "find/find.h"
#include "maps/atlas.h"
#include "places/notes.h"
#include "platform/error_report.h"

#include <QEvent>
#include <QFrame>
#include <QShortcut>
#include <QToolButton>

namespace corvane {

namespace {

// Keeps spdFind shown exactly while the other tool-bar buttons are, so
// that the search is there once the tables are.
class FollowVisibility : public QObject {
public:
    FollowVisibility(QWidget* leader, QWidget* follower)
        : QObject(follower)
        , m_follower(follower)
    {
        leader->installEventFilter(this);
        follower->setVisible(leader->isVisibleTo(leader->parentWidget()));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            m_follower->setVisible(static_cast<QWidget*>(watched)->isVisibleTo(m_follower->parentWidget()));
        return false;
    }

private:
    QWidget* m_follower;
};

void enterView(const QString& view)
{
    vCurrentView = view;
    MainForm->pnlPrint->hide();
}

} // namespace

void installFindCommand(TMainForm* frame)
{
    auto* spdFind = new QToolButton(frame->SpeedPanel);
    spdFind->setObjectName(QStringLiteral("spdFind"));
    spdFind->setToolTip(QObject::tr("Find a sheet, county, town, place, caption or glossary word (Ctrl+F)."));
    spdFind->setGeometry(572, 4, 33, 29);
    spdFind->setFocusPolicy(Qt::NoFocus);
    spdFind->setIcon(findPicture());
    spdFind->setIconSize(kToolPictureSize);
    new FollowVisibility(frame->spdOddChar, spdFind);
    QObject::connect(
        spdFind, &QToolButton::clicked, frame, [] { platform::guarded([] { showFindWindow(); }); });
    auto* ctrlF = new QShortcut(QKeySequence::Find, frame);
    ctrlF->setObjectName(QStringLiteral("mnuFindShortcut"));
    QObject::connect(ctrlF, &QShortcut::activated, frame, [spdFind] {
        if (spdFind->isVisible())
            platform::guarded([] { showFindWindow(); });
    });
}

void showFindWindow()
{
    if (!frmFind) {
        auto* find = new TfrmFind;
        find->setKeepsFrameMenu(true);
        MainForm->addChild(find);
    }
    frmFind->showFind();
}

void startSearchIndex(TDataModule1& data)
{
    new SearchIndexer(
        data.dbCorvane, SearchIndexer::defaultIndexPath(data.dbCorvane->folderHostPath()), &data);
}

void FrameShell::showSheet(const QString& sheetId)
{
    createAtlasWindow();
    enterView(QStringLiteral("Atlas"));
    frmAtlas->pnlCatalog()->hide();
    frmAtlas->changeDetailSheet(sheetId);
    frmAtlas->showChild();
}

void FrameShell::showTown(const QString& name, const QString& sheetId, QPointF pixel)
{
    createAtlasWindow();
    enterView(QStringLiteral("Atlas"));
    frmAtlas->showTown(name, sheetId, pixel);
    frmAtlas->showChild();
}

void FrameShell::showPlace(int placeId)
{
    createNotesWindow();
    enterView(QStringLiteral("Notes"));
    frmNotes->goToPlace(placeId);
    // A pinned place's sheet waits in the atlas window with its marker;
    // the descriptions stay in front.
    if (frmAtlas)
        platform::guarded([placeId] { frmAtlas->showPlacePin(placeId); });
    frmNotes->showChild();
}

void FrameShell::showPicture(const QString& fileName)
{
    createNotesWindow();
    enterView(QStringLiteral("Notes"));
    frmNotes->showChild();
    frmNotes->goToPicture(fileName);
}

void FrameShell::showGlossaryEntry(const QString& abbrev, const QString& meaning)
{
    createAbbrevWindow();
    enterView(QStringLiteral("Abbrev"));
    platform::Table* glossary = DataModule1->tblAbbrev;
    glossary->open();
    const QList<int> rows = glossary->rowsWhere(QStringLiteral("Abbrev"), abbrev);
    const int meaningField = glossary->fieldIndex(QStringLiteral("Meaning"));
    int row = rows.value(0, -1);
    for (const int candidate : rows) {
        if (glossary->valueAt(candidate, meaningField).toString() == meaning)
            row = candidate;
    }
    if (row < 0)
        throw platform::AppError(QObject::tr("\"%1\" is no longer in the glossary.").arg(abbrev));
    glossary->moveTo(row);
    frmAbbrev->showChild();
}

} // namespace corvane
