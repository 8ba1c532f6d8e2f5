#include "places/pix_store.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "imaging/picture_files.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QFile>
#include <QSet>

namespace corvane {

namespace {

constexpr int kLastNumber = 999999;

platform::Table* openPix()
{
    platform::Table* pix = DataModule1->tblPix;
    if (!pix->active())
        pix->open();
    return pix;
}

// Every row's value of a field, as the table shows it now.
QStringList column(platform::Table* pix, const QString& field)
{
    const int index = pix->fieldIndex(field);
    QStringList values;
    for (int row = 0; row < pix->rowCount(); ++row)
        values << pix->valueAt(row, index).toString();
    return values;
}

// The names in the picture folder up to their first dot: the numbers that
// files there use, whatever their type (a passing copy's included).
QSet<QString> numbersOfFiles()
{
    QSet<QString> numbers;
    const auto folder = platform::resolve(pictureFolder());
    if (!folder)
        return numbers;
    const QStringList names = QDir(*folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        numbers.insert(name.section(QLatin1Char('.'), 0, 0));
    return numbers;
}

void removeFile(const QString& windowsPath)
{
    if (const auto host = platform::resolve(windowsPath))
        QFile::remove(*host);
}

void makePictureFolder()
{
    const auto folder = platform::resolve(pictureFolder());
    if (folder)
        QDir().mkpath(*folder); // when it cannot be made, the copy says why
}

void appendRecord(platform::Table* pix, const QString& number, const QString& type)
{
    pix->append(); // stores a caption typed for the current picture first
    try {
        pix->setFieldValue(QStringLiteral("Filename"), number);
        pix->setFieldValue(QStringLiteral("Placeid"), vPlaceId);
        pix->setFieldValue(QStringLiteral("Type"), type);
        pix->post();
    } catch (...) {
        pix->cancel();
        throw;
    }
}

} // namespace

QString pictureFolder()
{
    return vProgramPath + QStringLiteral("Pix\\");
}

QString picturePath(const QString& fileName, const QString& type)
{
    return pictureFolder() + fileName + type;
}

QString pictureNumberAfter(int count, const std::function<bool(const QString& number)>& used)
{
    for (int n = std::max(count, 0) + 1; n <= kLastNumber; ++n) {
        const QString number = QStringLiteral("%1").arg(n, 6, 10, QLatin1Char('0'));
        if (!used(number))
            return number;
    }
    throw platform::AppError(
        QStringLiteral("No more pictures can be attached: all picture numbers up to %1 are in use.")
            .arg(kLastNumber));
}

QSet<QString> pictureNumbersInUse()
{
    const QStringList names = column(openPix(), QStringLiteral("Filename"));
    return QSet<QString>(names.cbegin(), names.cend()) + numbersOfFiles();
}

QString nextPictureNumber()
{
    const QSet<QString> used = pictureNumbersInUse();
    return pictureNumberAfter(
        openPix()->recordCount(), [&](const QString& number) { return used.contains(number); });
}

QString attachPicture(const QString& sourcePath)
{
    const QString type = platform::attachableType(sourcePath);
    if (type.isEmpty())
        throw platform::AppError(QStringLiteral(
            "The file \"%1\" cannot be attached: only BMP, JPG, JPEG, WMF and EMF pictures can.")
                                     .arg(sourcePath));
    platform::Table* pix = openPix();
    const QString number = nextPictureNumber();
    const QString target = picturePath(number, type);
    // The file first, under its own name, then its record: a kill in
    // between leaves a file without a record, which is harmless (its number
    // is never given again while the file is there), never a record
    // without its file. The copy itself goes through a passing name
    // (".part", cleared at the next start), so no half-written picture ever
    // bears the number.
    makePictureFolder();
    platform::copyFile(sourcePath, target, false);
    workStep("attach: file copied");
    try {
        appendRecord(pix, number, type);
    } catch (...) {
        removeFile(target);
        throw;
    }
    return number;
}

QStringList picturesOfPlace(int placeId)
{
    platform::Table* pix = openPix();
    const QStringList names = column(pix, QStringLiteral("Filename"));
    const QStringList types = column(pix, QStringLiteral("Type"));
    const int place = pix->fieldIndex(QStringLiteral("Placeid"));
    QStringList paths;
    for (int row = 0; row < names.size(); ++row) {
        if (pix->valueAt(row, place).toInt() == placeId)
            paths << picturePath(names.at(row), types.at(row));
    }
    return paths;
}

bool moveToPicture(const QString& path)
{
    platform::Table* pix = openPix();
    const QStringList names = column(pix, QStringLiteral("Filename"));
    const QStringList types = column(pix, QStringLiteral("Type"));
    for (int row = 0; row < names.size(); ++row) {
        if (picturePath(names.at(row), types.at(row)) == path) {
            pix->moveTo(row);
            return true;
        }
    }
    return false;
}

} // namespace corvane
