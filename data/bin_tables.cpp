#include "data/bin_tables.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>

namespace corvane {

namespace {

using platform::FieldDef;
using platform::FieldType;

constexpr int kDefaultBinDays = 30;

platform::Table* tableObject(const platform::TableDef& def)
{
    auto* table = DataModule1->findChild<platform::Table*>(def.componentName, Qt::FindDirectChildrenOnly);
    if (!table) {
        table = new platform::Table(DataModule1->dbCorvane, def, DataModule1);
        table->setObjectName(def.componentName);
    }
    if (table->active())
        return table;
    const QString host = QDir(DataModule1->dbCorvane->folderHostPath()).filePath(def.fileName);
    if (!QFileInfo::exists(host))
        platform::Database::createTableFile(host, def);
    return table;
}

platform::Table* openTable(const platform::TableDef& def)
{
    platform::Table* table = tableObject(def);
    table->open();
    return table;
}

QString hostOf(const QString& relative)
{
    return platform::hostPathOf(vProgramPath + relative);
}

QString text(const platform::Table* table, int row, const QString& field)
{
    return table->valueAt(row, table->fieldIndex(field)).toString();
}

void moveFile(const QString& sourceHost, const QString& targetHost)
{
    QDir().mkpath(QFileInfo(targetHost).path());
    if (std::rename(QFile::encodeName(sourceHost).constData(), QFile::encodeName(targetHost).constData())
        != 0) {
        throw platform::AppError(
            QStringLiteral("Cannot move \"%1\" to \"%2\". %3")
                .arg(QDir::toNativeSeparators(sourceHost), QDir::toNativeSeparators(targetHost),
                    platform::systemReason(errno)));
    }
}

} // namespace

platform::TableDef binTableDef()
{
    return { QStringLiteral("tblBin"), QStringLiteral("BIN.DB"),
        { { QStringLiteral("Binid"), FieldType::Integer }, { QStringLiteral("Placeid"), FieldType::Integer },
            { QStringLiteral("Place"), FieldType::Text, 40 }, { QStringLiteral("Page"), FieldType::Text, 15 },
            { QStringLiteral("Coords"), FieldType::Text, 15 },
            { QStringLiteral("Memo"), FieldType::Memo, 100 },
            { QStringLiteral("Deleted"), FieldType::Text, 30 },
            { QStringLiteral("Pictures"), FieldType::Memo, 100 } },
        { { QStringLiteral("tblBinIndex1"), QStringLiteral("Binid"), true, true, false } } };
}

platform::TableDef binMovesTableDef()
{
    return { QStringLiteral("tblBinMoves"), QStringLiteral("BINMOVES.DB"),
        { { QStringLiteral("Source"), FieldType::Text, 255 },
            { QStringLiteral("Target"), FieldType::Text, 255 } },
        {} };
}

platform::Table* binTable()
{
    return openTable(binTableDef());
}

platform::Table* binMovesTable()
{
    return openTable(binMovesTableDef());
}

platform::Table* binTableObject()
{
    return tableObject(binTableDef());
}

QString binFolder()
{
    return vProgramPath + QStringLiteral("Bin\\");
}

QString binnedPicturesText(const QList<BinnedPicture>& pictures)
{
    QJsonArray array;
    for (const BinnedPicture& p : pictures)
        array.append(QJsonObject { { QStringLiteral("file"), p.fileName }, { QStringLiteral("type"), p.type },
            { QStringLiteral("caption"), p.caption } });
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<BinnedPicture> binnedPicturesFromText(const QString& text)
{
    QList<BinnedPicture> pictures;
    const QJsonArray array = QJsonDocument::fromJson(text.toUtf8()).array();
    for (const QJsonValue& value : array) {
        const QJsonObject o = value.toObject();
        pictures << BinnedPicture { o.value(QLatin1String("file")).toString(),
            o.value(QLatin1String("type")).toString(), o.value(QLatin1String("caption")).toString() };
    }
    return pictures;
}

QString binnedPictureFile(int binId, const BinnedPicture& picture)
{
    return QStringLiteral("Bin\\%1-%2%3")
        .arg(binId, 6, 10, QLatin1Char('0'))
        .arg(picture.fileName, picture.type);
}

QString pictureFileOf(const QString& fileName, const QString& type)
{
    return QStringLiteral("Pix\\") + fileName + type;
}

void queueFileMove(const QString& source, const QString& target)
{
    platform::Table* moves = binMovesTable();
    moves->append();
    moves->setFieldValue(QStringLiteral("Source"), source);
    moves->setFieldValue(QStringLiteral("Target"), target);
    moves->post();
}

void carryOutFileMoves()
{
    platform::Table* moves = binMovesTable();
    if (moves->isEmpty())
        return;
    QSet<QString> folders;
    for (int row = 0; row < moves->rowCount(); ++row) {
        const QString source = hostOf(text(moves, row, QStringLiteral("Source")));
        const QString target = text(moves, row, QStringLiteral("Target"));
        folders << QFileInfo(source).path();
        // A source already gone was moved before a kill.
        if (!QFileInfo::exists(source))
            continue;
        if (target.isEmpty()) {
            QFile::remove(source);
        } else {
            const QString targetHost = hostOf(target);
            moveFile(source, targetHost);
            folders << QFileInfo(targetHost).path();
        }
        workStep("bin: file moved");
    }
    for (const QString& folder : std::as_const(folders))
        platform::syncFolder(folder);
    moves->deleteAllRecords();
}

QStringList settleBin()
{
    QStringList problems;
    try {
        carryOutFileMoves();
        platform::Table* bin = binTable();
        QSet<QString> named;
        for (int row = 0; row < bin->rowCount(); ++row) {
            const int binId = bin->valueAt(row, bin->fieldIndex(QStringLiteral("Binid"))).toInt();
            for (const BinnedPicture& p : binnedPicturesFromText(text(bin, row, QStringLiteral("Pictures"))))
                named << binnedPictureFile(binId, p).mid(4).toLower();
        }
        const QString folder = hostOf(QStringLiteral("Bin"));
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            if (!named.contains(name.toLower()))
                QFile::remove(QDir(folder).filePath(name));
        }
    } catch (const std::exception& e) {
        problems << QString::fromStdString(e.what());
    }
    return problems;
}

int copyBinFiles(const QString& fromFolder, const QString& toFolder, bool onlyMissing)
{
    const auto from = platform::resolve(fromFolder);
    if (!from || !QFileInfo(*from).isDir())
        return 0;
    const QString to = platform::hostPathOf(toFolder);
    QDir().mkpath(to);
    static const QRegularExpression binName(QStringLiteral("^\\d{6}-\\d{6}\\.[A-Za-z]{3,4}$"));
    int copied = 0;
    for (const QFileInfo& file : QDir(*from).entryInfoList(QDir::Files)) {
        const QString target = QDir(to).filePath(file.fileName());
        // Only the bin's own names; one there of the same size is the same.
        if (!binName.match(file.fileName()).hasMatch() || file.isSymLink())
            continue;
        if (QFileInfo::exists(target) && (onlyMissing || QFileInfo(target).size() == file.size()))
            continue;
        platform::copyHostFile(
            file.filePath(), target, true, fromFolder + file.fileName(), toFolder + file.fileName());
        ++copied;
    }
    platform::syncFolder(to);
    return copied;
}

int binDays()
{
    QFile file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/corvane3/corvane3.conf"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return kDefaultBinDays;
    int days = kDefaultBinDays;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || eq < 0
            || line.left(eq).simplified().compare(QLatin1String("bin days"), Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const int value = line.mid(eq + 1).trimmed().toInt(&ok);
        if (ok && value >= 0)
            days = value;
    }
    return days;
}

} // namespace corvane
