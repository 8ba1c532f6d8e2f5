#include "find/find.h"

#include "ui_find.h"

#include "core/paste.h"
#include "core/shell.h"
#include "data/search_indexer.h"
#include "data/town_search.h"
#include "find/marked_text.h"
#include "geo/coordinates.h"
#include "platform/error_report.h"
#include "platform/fonts.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace corvane {

namespace {

// Hits shown of each kind; beyond them the user is asked to type more.
constexpr int kHitsPerKind = 30;

enum Role { HitKind = Qt::UserRole + 10, HitKeys };

QString headingOf(FindKind kind)
{
    switch (kind) {
    case FindKind::Sheet:
        return QObject::tr("Sheets");
    case FindKind::County:
        return QObject::tr("Counties");
    case FindKind::Town:
        return QObject::tr("Towns");
    case FindKind::Place:
        return QObject::tr("Places");
    case FindKind::Picture:
        return QObject::tr("Picture captions");
    case FindKind::Glossary:
        return QObject::tr("Glossary");
    }
    return {};
}

// The hit's first line: what it is called, and where it lies when that
// helps (a sheet's id, a county's sheet, a picture's file).
QString titleOf(const FindHit& hit)
{
    switch (hit.kind) {
    case FindKind::Sheet:
    case FindKind::County:
        return QStringLiteral("%1  (%2)").arg(hit.title, hit.keys.value(0));
    case FindKind::Picture:
        return QObject::tr("Picture %1").arg(hit.keys.value(0));
    case FindKind::Glossary:
        return QStringLiteral("%1 = %2").arg(hit.keys.value(0), hit.keys.value(1));
    case FindKind::Town:
    case FindKind::Place:
        break;
    }
    return hit.title;
}

// The gazetteer's towns for the typed text, one more than are shown so
// that "more" can be said; keyed by sheet, pixel and name for the jump.
QList<FindHit> townHits(const QString& typed)
{
    QList<FindHit> hits;
    const QList<GazetteerTown>& towns = gazetteer();
    for (const int i : townsMatching(typed, towns)) {
        const GazetteerTown& town = towns[i];
        FindHit hit;
        hit.kind = FindKind::Town;
        hit.rowid = i;
        hit.keys = QStringList { town.sheetId, QString::number(town.pixel.x(), 'g', 17),
            QString::number(town.pixel.y(), 'g', 17), town.name };
        hit.title = town.name;
        hit.context = town.sheetId.isEmpty()
            ? QObject::tr("%1, not on any sheet").arg(platform::formatLatLon(town.lonLat))
            : QStringLiteral("%1, %2").arg(town.sheetId, platform::formatLatLon(town.lonLat));
        hits << hit;
        if (hits.size() > kHitsPerKind)
            break;
    }
    return hits;
}

// The towns go between the counties and the places, as findSources() orders
// the kinds the index holds.
QList<FindHit> withTowns(QList<FindHit> hits, const QString& typed)
{
    qsizetype at = 0;
    while (at < hits.size() && int(hits[at].kind) < int(FindKind::Town))
        ++at;
    const QList<FindHit> towns = townHits(typed);
    for (qsizetype i = 0; i < towns.size(); ++i)
        hits.insert(at + i, towns[i]);
    return hits;
}

} // namespace

TfrmFind::TfrmFind(QWidget* parent)
    : TChildForm(parent)
    , ui(std::make_unique<Ui::Find>())
{
    using platform::connectGuarded;
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmFind"));
    setFixedBorder(true);
    setFont(platform::designFont(QStringLiteral("MS Sans Serif"), 11));
    ui->lstFound->setItemDelegate(new MarkedTextDelegate(ui->lstFound));
    connect(ui->edFind, &QLineEdit::textChanged, this, &TfrmFind::edFindChange);
    connectMouseDown(ui->edFind, [this] { platform::guarded([this] { edFindMouseDown(); }); });
    connect(ui->lstFound, &QTreeWidget::itemActivated, this,
        [this](QTreeWidgetItem* item) { platform::guarded([this, item] { lstFoundDblClick(item); }); });
    connectGuarded(ui->btnClose, &QPushButton::clicked, this, &TfrmFind::btnCloseClick);
    ui->edFind->installEventFilter(this);
    ui->lstFound->installEventFilter(this);
    if (SearchIndexer* indexer = SearchIndexer::instance())
        connect(indexer, &SearchIndexer::found, this, &TfrmFind::showHits);
    frmFind = this;
}

TfrmFind::~TfrmFind()
{
    if (frmFind == this)
        frmFind = nullptr;
}

QLineEdit* TfrmFind::edFind() const
{
    return ui->edFind;
}

QTreeWidget* TfrmFind::lstFound() const
{
    return ui->lstFound;
}

void TfrmFind::FormShow()
{
    setOuterGeometry(390, 2, 384, 452);
}

void TfrmFind::showFind()
{
    show();
    showChild();
    ui->edFind->setFocus(Qt::ShortcutFocusReason);
    ui->edFind->selectAll();
}

void TfrmFind::edFindChange()
{
    SearchIndexer* indexer = SearchIndexer::instance();
    if (!indexer || ui->edFind->text().trimmed().isEmpty()) {
        m_ticket = 0;
        ui->lstFound->clear();
        ui->lblFound->clear();
        return;
    }
    m_ticket = indexer->search(ui->edFind->text(), kHitsPerKind + 1);
}

void TfrmFind::edFindMouseDown()
{
    completePendingPaste(ui->edFind);
}

void TfrmFind::showHits(int ticket, const QList<FindHit>& indexHits)
{
    if (ticket != m_ticket)
        return;
    const QList<FindHit> hits = withTowns(indexHits, ui->edFind->text());
    ui->lstFound->clear();
    QTreeWidgetItem* group = nullptr;
    int inGroup = 0;
    for (const FindHit& hit : hits) {
        if (!group || group->data(0, HitKind).toInt() != int(hit.kind)) {
            group = new QTreeWidgetItem(ui->lstFound, { headingOf(hit.kind) });
            group->setData(0, HitKind, int(hit.kind));
            group->setFlags(Qt::ItemIsEnabled); // its hits stay enabled
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
            inGroup = 0;
        }
        if (++inGroup > kHitsPerKind) {
            auto* more = new QTreeWidgetItem(group, { tr("... and more: type more to narrow the search") });
            more->setFlags(Qt::NoItemFlags);
            continue;
        }
        auto* item = new QTreeWidgetItem(group);
        item->setData(0, HitKind, int(hit.kind));
        item->setData(0, HitKeys, hit.keys);
        item->setData(0, kMarkedTextRole, markedHtml(titleOf(hit), hit.context));
        item->setText(0, titleOf(hit));
    }
    ui->lstFound->expandAll();
    const int shown = int(hits.size());
    const bool indexing = SearchIndexer::instance() && SearchIndexer::instance()->rebuilding();
    ui->lblFound->setText(shown == 0 ? tr("Nothing found.") : QString());
    if (indexing)
        ui->lblFound->setText(tr("Still reading the tables: some results may be missing."));
    if (QTreeWidgetItem* first
        = ui->lstFound->topLevelItemCount() > 0 ? ui->lstFound->topLevelItem(0)->child(0) : nullptr)
        ui->lstFound->setCurrentItem(first);
}

void TfrmFind::lstFoundDblClick(QTreeWidgetItem* item)
{
    goTo(item);
}

void TfrmFind::goToSelected()
{
    goTo(ui->lstFound->currentItem());
}

void TfrmFind::goTo(const QTreeWidgetItem* item)
{
    if (!item || !item->data(0, HitKeys).isValid())
        return;
    const QStringList keys = item->data(0, HitKeys).toStringList();
    switch (FindKind(item->data(0, HitKind).toInt())) {
    case FindKind::Sheet:
    case FindKind::County:
        shell().showSheet(keys.value(0));
        break;
    case FindKind::Town:
        goToTown(keys);
        break;
    case FindKind::Place:
        shell().showPlace(keys.value(0).toInt());
        break;
    case FindKind::Picture:
        shell().showPicture(keys.value(0));
        break;
    case FindKind::Glossary:
        shell().showGlossaryEntry(keys.value(0), keys.value(1));
        break;
    }
}

// A town off every sheet has nowhere to go: the search says so.
void TfrmFind::goToTown(const QStringList& keys)
{
    if (keys.value(0).isEmpty()) {
        const QString text = tr("%1 is not on any sheet.").arg(keys.value(3));
        ui->lblFound->setText(text);
        shell().showStatus(text);
        return;
    }
    shell().showTown(keys.value(3), keys.value(0), { keys.value(1).toDouble(), keys.value(2).toDouble() });
}

// The next hit above or below the selected one, over the headings.
void TfrmFind::moveToHit(int step)
{
    QTreeWidget* list = ui->lstFound;
    QTreeWidgetItem* item = list->currentItem();
    do {
        item = item ? (step > 0 ? list->itemBelow(item) : list->itemAbove(item)) : list->topLevelItem(0);
    } while (item && !item->data(0, HitKeys).isValid());
    if (item)
        list->setCurrentItem(item);
}

void TfrmFind::btnCloseClick()
{
    sendToBack();
    hide();
}

// The keyboard alone does it all: arrows move through the hits from the
// field, Enter goes to the one selected, Esc puts the window away.
bool TfrmFind::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return TChildForm::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Escape:
        platform::guarded([this] { btnCloseClick(); });
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        platform::guarded([this] { goToSelected(); });
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        platform::guarded([this, key] { moveToHit(key->key() == Qt::Key_Down ? 1 : -1); });
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (watched == ui->edFind) {
            QKeyEvent copy(key->type(), key->key(), key->modifiers());
            QCoreApplication::sendEvent(ui->lstFound, &copy);
            return true;
        }
        break;
    default:
        break;
    }
    return TChildForm::eventFilter(watched, event);
}

} // namespace corvane
