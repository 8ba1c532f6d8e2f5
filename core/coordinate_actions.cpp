#include "core/coordinate_actions.h"

#include "geo/coordinates.h"
#include "platform/desktop.h"
#include "platform/error_report.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace corvane {

namespace {
bool g_dms = false;
} // namespace

CoordinateForm& CoordinateForm::instance()
{
    static CoordinateForm form;
    return form;
}

bool showsDms()
{
    return g_dms;
}

void setShowsDms(bool dms)
{
    if (g_dms == dms)
        return;
    g_dms = dms;
    emit CoordinateForm::instance().coordinateFormChanged();
}

QString shownCoordinates(QPointF lonLat)
{
    return platform::formatLatLon(lonLat, g_dms);
}

void addCoordinateActions(QMenu* menu, QPointF lonLat)
{
    menu->addSeparator();
    QAction* copy = menu->addAction(QObject::tr("Copy coordinates"));
    copy->setObjectName(QStringLiteral("mnuCopyCoordinates"));
    QObject::connect(copy, &QAction::triggered, menu,
        [lonLat] { QGuiApplication::clipboard()->setText(shownCoordinates(lonLat)); });
    QAction* web = menu->addAction(QObject::tr("Show on a web map"));
    web->setObjectName(QStringLiteral("mnuShowOnWebMap"));
    QObject::connect(web, &QAction::triggered, menu, [lonLat] {
        platform::guarded([&] {
            const QString address = platform::webMapAddress(lonLat);
            if (!platform::shellOpen(address))
                throw platform::AppError(
                    QObject::tr("No web browser could be started to show %1.").arg(address));
        });
    });
}

} // namespace corvane
