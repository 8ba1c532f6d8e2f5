#include "places/bin_window.h"

#include "places/place_bin.h"
#include "places/undo_steps.h"

#include "core/shell.h"
#include "platform/desktop.h"
#include "platform/error_report.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace corvane {

namespace {

QPointer<TfrmBin> g_window;

} // namespace

TfrmBin::TfrmBin(QWidget* parent)
    : QDialog(parent)
    , grdBin(new QTreeWidget(this))
    , btnPutBack(new QPushButton(tr("Put back"), this))
    , btnEmptyBin(new QPushButton(tr("Empty the bin"), this))
    , btnCloseBin(new QPushButton(tr("Close"), this))
{
    setObjectName(QStringLiteral("frmBin"));
    setWindowTitle(tr("Deleted places"));
    grdBin->setObjectName(QStringLiteral("grdBin"));
    btnPutBack->setObjectName(QStringLiteral("btnPutBack"));
    btnEmptyBin->setObjectName(QStringLiteral("btnEmptyBin"));
    btnCloseBin->setObjectName(QStringLiteral("btnCloseBin"));
    grdBin->setHeaderLabels({ tr("Place"), tr("Deleted"), tr("Pictures") });
    grdBin->setRootIsDecorated(false);
    grdBin->setUniformRowHeights(true); // a long bin opens at once
    grdBin->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdBin->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnPutBack);
    buttons->addWidget(btnEmptyBin);
    buttons->addStretch();
    buttons->addWidget(btnCloseBin);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdBin);
    layout->addLayout(buttons);
    resize(460, 320);
    connect(btnPutBack, &QPushButton::clicked, this,
        [this] { platform::guarded([this] { btnPutBackClick(); }); });
    connect(btnEmptyBin, &QPushButton::clicked, this,
        [this] { platform::guarded([this] { btnEmptyBinClick(); }); });
    connect(btnCloseBin, &QPushButton::clicked, this, &QWidget::hide);
    connect(grdBin, &QTreeWidget::itemSelectionChanged, this,
        [this] { btnPutBack->setEnabled(!grdBin->selectedItems().isEmpty()); });
}

TfrmBin* TfrmBin::showBin()
{
    if (!g_window)
        g_window = new TfrmBin(shell().frameWindow());
    g_window->fillList();
    g_window->show();
    g_window->raise();
    return g_window;
}

void TfrmBin::fillList()
{
    grdBin->clear();
    const QList<BinnedPlace> places = binnedPlaces();
    QList<QTreeWidgetItem*> items;
    items.reserve(places.size());
    const QLocale locale;
    for (const BinnedPlace& place : places) {
        auto* item = new QTreeWidgetItem(
            { place.place, locale.toString(place.deleted.toLocalTime(), QLocale::ShortFormat),
                QString::number(place.pictures) });
        item->setData(0, Qt::UserRole, place.binId);
        item->setData(1, Qt::UserRole, place.placeId);
        items << item;
    }
    grdBin->addTopLevelItems(items);
    if (!items.isEmpty())
        grdBin->setCurrentItem(items.constLast());
    btnPutBack->setEnabled(!items.isEmpty());
    btnEmptyBin->setEnabled(!items.isEmpty());
}

void TfrmBin::btnPutBackClick()
{
    const QList<QTreeWidgetItem*> chosen = grdBin->selectedItems();
    for (QTreeWidgetItem* item : chosen) {
        const int binId = item->data(0, Qt::UserRole).toInt();
        const int placeId = putBackPlace(binId);
        pushNotebookStep(new PutBackStep(binId, placeId, item->text(0)));
    }
    fillList();
}

void TfrmBin::btnEmptyBinClick()
{
    const QList<BinnedPlace> places = binnedPlaces();
    if (places.isEmpty())
        return;
    int pictures = 0;
    for (const BinnedPlace& place : places)
        pictures += place.pictures;
    const auto answer = platform::messageBox({ QMessageBox::Question, platform::applicationTitle(),
        tr("Destroy the places in the bin (%1) and their pictures (%2)? This cannot be undone.")
            .arg(places.size())
            .arg(pictures),
        QMessageBox::Yes | QMessageBox::No });
    if (answer != QMessageBox::Yes)
        return;
    emptyBin();
    // Steps that would put back a destroyed place cannot be undone now.
    clearNotebookHistory(tr("Undo history cleared: the bin was emptied."));
    fillList();
}

} // namespace corvane
