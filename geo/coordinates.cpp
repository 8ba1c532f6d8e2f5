#include "geo/coordinates.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cmath>

namespace platform {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Coordinates", text);
}

QString axisName(Axis axis)
{
    return axis == Axis::Latitude ? tr("latitude") : tr("longitude");
}

[[noreturn]] void refuse(const QString& text, Axis axis, const QString& why)
{
    throw CoordinateError(tr("\u201c%1\u201d is not a %2: %3").arg(text, axisName(axis), why));
}

// The hemisphere letter before or after the numbers, removed from text;
// 0 when there is none.
QChar takeHemisphere(QString& text)
{
    const QString upper = text.toUpper();
    for (QChar letter : { u'N', u'S', u'E', u'W' }) {
        if (upper.startsWith(letter) || upper.endsWith(letter)) {
            text = upper.startsWith(letter) ? text.mid(1) : text.chopped(1);
            return letter;
        }
    }
    return {};
}

} // namespace

QString formatAngle(double degrees, Axis axis, bool dms)
{
    if (!dms)
        return QString::number(degrees, 'f', 5);
    const QChar hemisphere
        = axis == Axis::Latitude ? (degrees < 0 ? u'S' : u'N') : (degrees < 0 ? u'W' : u'E');
    // Round once, in tenths of a second, so that 59.96" never shows as 60.0".
    const qint64 tenths = std::llround(std::fabs(degrees) * 36000);
    const qint64 d = tenths / 36000, m = tenths / 600 % 60, s = tenths % 600;
    return QStringLiteral("%1°%2'%3.%4\"%5")
        .arg(d)
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s / 10, 2, 10, QLatin1Char('0'))
        .arg(s % 10)
        .arg(hemisphere);
}

QString formatLatLon(QPointF lonLat, bool dms)
{
    return formatAngle(lonLat.y(), Axis::Latitude, dms) + (dms ? QStringLiteral(" ") : QStringLiteral(", "))
        + formatAngle(lonLat.x(), Axis::Longitude, dms);
}

void checkRange(double degrees, Axis axis)
{
    const double limit = axis == Axis::Latitude ? 90 : 180;
    if (!std::isfinite(degrees) || std::fabs(degrees) > limit)
        throw CoordinateError(tr("A %1 lies between -%2 and %2 degrees; %3 does not.")
                                  .arg(axisName(axis))
                                  .arg(limit)
                                  .arg(degrees));
}

double parseAngle(const QString& typed, Axis axis)
{
    QString text = typed.trimmed();
    const QChar hemisphere = takeHemisphere(text);
    const QString allowed = axis == Axis::Latitude ? QStringLiteral("NS") : QStringLiteral("EW");
    if (!hemisphere.isNull() && !allowed.contains(hemisphere))
        refuse(typed, axis, tr("%1 belongs to the other axis").arg(hemisphere));
    static const QRegularExpression number(QStringLiteral("[-+]?\\d+(?:\\.\\d+)?"));
    static const QRegularExpression separators(QStringLiteral("^[\\s°º'′\"″:]*$"));
    QList<double> parts;
    qsizetype at = 0;
    for (auto it = number.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        if (!separators.match(text.mid(at, m.capturedStart() - at)).hasMatch())
            refuse(typed, axis, tr("it holds more than degrees, minutes and seconds"));
        parts << m.captured().toDouble();
        at = m.capturedEnd();
    }
    if (parts.isEmpty() || parts.size() > 3 || !separators.match(text.mid(at)).hasMatch())
        refuse(typed, axis, tr("write degrees, or degrees, minutes and seconds"));
    for (qsizetype i = 1; i < parts.size(); ++i)
        if (parts[i] < 0 || parts[i] >= 60)
            refuse(typed, axis, tr("minutes and seconds lie between 0 and 60"));
    const bool negative = parts[0] < 0 || text.trimmed().startsWith(u'-');
    if (negative && !hemisphere.isNull())
        refuse(typed, axis, tr("give a minus sign or a hemisphere letter, not both"));
    double value = std::fabs(parts[0]) + parts.value(1) / 60 + parts.value(2) / 3600;
    if (negative || hemisphere == u'S' || hemisphere == u'W')
        value = -value;
    checkRange(value, axis);
    return value;
}

QString webMapAddress(QPointF lonLat)
{
    const QString lat = QString::number(lonLat.y(), 'f', 5), lon = QString::number(lonLat.x(), 'f', 5);
    return QStringLiteral("https://www.openstreetmap.org/?mlat=%1&mlon=%2#map=13/%1/%2").arg(lat, lon);
}

} // namespace platform
