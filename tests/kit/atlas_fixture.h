#pragma once
// A small atlas of a test's own: sheets as little JPEG files in a temporary
// "CD" (drive D:) and the MAPS.DB and MAPCAT.DB rows the test gives, written
// into a fresh installation through the engine before the program starts.
// open() then reaches the atlas window the way a user does (splash, "Open").

#include "kit/kit.h"

#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/tables.h"
#include "maps/atlas.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>

#include <turbojpeg.h>

#include <array>

namespace fixture {

// Sheet colours the tests tell pictures apart by.
inline const QColor kRed(200, 30, 30);
inline const QColor kGreen(30, 160, 30);
inline const QColor kBlue(40, 40, 200);
inline const QColor kYellow(220, 200, 40);
inline const QColor kMagenta(180, 40, 180);
inline const QColor kGrey(128, 128, 128);
inline const QColor kCyan(40, 200, 200);
inline const QColor kOrange(230, 130, 20);

struct Sheet {
    QString map;
    QString west;
    QString east;
    QString north;
    QString south;
    QString title;
    QString pages;
    int locTop = 0;
    int locLeft = 0;
    QString country = QStringLiteral("E");
};

struct County {
    int id;
    QString county;
    QString map;
};

// JPEG bytes of an image through TurboJPEG (4:2:0 unless told otherwise).
inline QByteArray encodeJpeg(
    const QImage& image, int quality = 85, bool progressive = false, int subsampling = TJSAMP_420)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int flags = progressive ? TJFLAG_PROGRESSIVE : 0;
    const int rc = tjCompress2(tj, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
        TJPF_RGB, &out, &size, subsampling, quality, flags);
    QByteArray bytes
        = rc == 0 ? QByteArray(reinterpret_cast<const char*>(out), qsizetype(size)) : QByteArray();
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// A CMYK JPEG of one colour, its four inks stored as given (prepress
// programs store them inverted, 255 for no ink).
inline QByteArray encodeCmykJpeg(QSize size, std::array<uchar, 4> inks = { 200, 0, 0, 0 })
{
    QByteArray pixels(size.width() * size.height() * 4, char(0));
    for (qsizetype i = 0; i < pixels.size(); i += 4)
        for (int k = 0; k < 4; ++k)
            pixels[i + k] = char(inks[k]);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long length = 0;
    tjCompress2(tj, reinterpret_cast<const uchar*>(pixels.constData()), size.width(), 0, size.height(),
        TJPF_CMYK, &out, &length, TJSAMP_444, 90, 0);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(length));
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// A plain sheet: one colour with its id written on it, so a test can tell
// from a pixel which sheet is shown.
inline QImage sheetImage(QSize size, QColor colour, const QString& label = {})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    if (!label.isEmpty()) {
        QPainter p(&image);
        p.setPen(Qt::white);
        p.drawText(QRect(QPoint(size.width() / 3, size.height() / 3), size / 3), Qt::AlignCenter, label);
    }
    return image;
}

// The header of a JPEG says it is width x height (the data stay as they were).
inline QByteArray withDimensions(QByteArray jpeg, int width, int height)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2)) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 0xFF);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 0xFF);
            break;
        }
    }
    return jpeg;
}

// Every region differs from its neighbours: a tile drawn a pixel off, at
// the wrong scale or in the wrong place shows.
inline QImage patterned(QSize size, int stripe = 24)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(
                x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), ((x / stripe) % 2) * 120 + 60));
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 3));
    for (int i = 0; i < size.width(); i += 37)
        p.drawLine(i, 0, size.width() - i, size.height());
    return image;
}

// Overwrites the file with rubbish of its length and puts its time back:
// whatever still shows it did not read it.
inline bool spoilKeepingSizeAndTime(const QString& path)
{
    const QDateTime written = QFileInfo(path).lastModified();
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.write(QByteArray(file.size(), 'x')) == file.size()
        && file.flush() && file.setFileTime(written, QFileDevice::FileModificationTime);
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

class Atlas {
public:
    explicit Atlas(Kit& kit)
        : m_kit(kit)
    {
        QDir().mkpath(mapsFolder());
        kit.setDrive(QLatin1Char('D'), m_cd.path(), true);
        // The rows come from the test, so an empty template serves; it also
        // spares installing the demo atlas's rows only to replace them.
        const QString folder = m_share.path() + QStringLiteral("/template");
        QDir().mkpath(folder);
        writeBytes(folder + QStringLiteral("/MAPS.tsv"),
            "Map\tWest\tEast\tNorth\tSouth\tTitle\tPages\tLocTop\tLocLeft\tCountry\n");
        writeBytes(folder + QStringLiteral("/MAPCAT.tsv"), "ID\tCounty\tMap\n");
        writeBytes(folder + QStringLiteral("/ABBREV.tsv"), "Abbrev\tSpelling\tLanguage\tMeaning\n");
        platform::setShareDir(m_share.path());
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        kit.setConfig(QStringLiteral("GraphicsPath"), QStringLiteral("D:\\"));
    }

    QString mapsFolder() const { return m_cd.path() + QStringLiteral("/Maps"); }
    QString sheetFile(const QString& id) const
    {
        return mapsFolder() + QLatin1Char('/') + id + QStringLiteral(".JPG");
    }

    bool writeSheet(const QString& id, QSize size, QColor colour)
    {
        return writeBytes(sheetFile(id), encodeJpeg(sheetImage(size, colour, id)));
    }

    void setRows(const QList<Sheet>& sheets, const QList<County>& catalog)
    {
        platform::Database db(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
        db.connectDatabase();
        platform::Table maps(&db, corvane::mapsTableDef());
        replaceRows(maps, sheets.size(), [&](int i) {
            const Sheet& s = sheets[i];
            const QList<std::pair<const char*, QVariant>> values { { "Map", s.map }, { "West", s.west },
                { "East", s.east }, { "North", s.north }, { "South", s.south }, { "Title", s.title },
                { "Pages", s.pages }, { "LocTop", s.locTop }, { "LocLeft", s.locLeft },
                { "Country", s.country } };
            for (const auto& [field, value] : values)
                maps.setFieldValue(QLatin1String(field), value);
        });
        platform::Table mapCat(&db, corvane::mapCatTableDef());
        replaceRows(mapCat, catalog.size(), [&](int i) {
            mapCat.setFieldValue(QStringLiteral("ID"), catalog[i].id);
            mapCat.setFieldValue(QStringLiteral("County"), catalog[i].county);
            mapCat.setFieldValue(QStringLiteral("Map"), catalog[i].map);
        });
    }

    // One sheet and the overview: enough for the program to open, for tests
    // of the windows beside the atlas.
    corvane::TfrmAtlas* openWithOneSheet()
    {
        writeSheet(QStringLiteral("GB-03H"), { 200, 144 }, Qt::red);
        writeSheet(QStringLiteral("LOC-S"), { 200, 144 }, Qt::gray);
        setRows({ { QStringLiteral("GB-03H"), {}, {}, {}, {}, QStringLiteral("England: London"),
                    QStringLiteral("12-13"), 433, 683 } },
            {});
        return open();
    }

    // Starts the program and opens the atlas window as a user would.
    corvane::TfrmAtlas* open()
    {
        m_kit.start();
        if (m_kit.find(QStringLiteral("frmSplash"))) {
            m_kit.passSplash();
            m_kit.click(QStringLiteral("btnBegin"));
        } else {
            openAsStartUpWould();
        }
        auto* atlas = m_kit.get<corvane::TfrmAtlas>(QStringLiteral("frmAtlas"));
        return QTest::qWaitForWindowExposed(atlas) ? atlas : nullptr;
    }

private:
    template <typename Fill> static void replaceRows(platform::Table& table, qsizetype count, Fill fill)
    {
        table.open();
        while (!table.isEmpty()) {
            table.first();
            table.deleteRecord();
        }
        for (int i = 0; i < count; ++i) {
            table.append();
            fill(i);
            table.post();
        }
        table.close();
    }

    static void openAsStartUpWould()
    {
        using namespace corvane;
        for (platform::Table* table : DataModule1->tables())
            table->open();
        vGraphicsPath = DataModule1->tblConfig->fieldAsString(QStringLiteral("GraphicsPath"));
        auto* atlas = new TfrmAtlas;
        MainForm->addChild(atlas);
        vAtlasCreated = true;
        atlas->showChild();
    }

    Kit& m_kit;
    QTemporaryDir m_cd;
    QTemporaryDir m_share;
};

} // namespace fixture
