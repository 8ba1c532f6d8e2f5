// Checks the demo atlas the build generates: the sheet table, the catalogue,
// the abbreviations and the pictures of the "CD", as the viewer uses them.

#include <QtTest>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRect>
#include <QRegularExpression>

namespace {

const QString kShare = QStringLiteral(CORVANE_SHARE_DIR);

QString templateFile(const QString& name)
{
    return kShare + QStringLiteral("/template/") + name;
}
QString mapFile(const QString& id)
{
    return kShare + QStringLiteral("/cd/Maps/") + id + QStringLiteral(".JPG");
}

struct Table {
    QStringList header;
    QList<QStringList> rows;
    QString error;
};

Table readTable(const QString& path)
{
    Table t;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        t.error = path + QStringLiteral(": ") + file.errorString();
        return t;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty()) {
        t.error = path + QStringLiteral(" is empty");
        return t;
    }
    t.header = lines.first().split(u'\t');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        t.rows << lines[i].split(u'\t');
        if (t.rows.last().size() != t.header.size())
            t.error
                = QStringLiteral("%1 line %2 has %3 fields").arg(path).arg(i + 1).arg(t.rows.last().size());
    }
    return t;
}

// Windows-1252: Latin-1 without the C1 controls, plus the characters the
// code page puts there.
bool isWindows1252(const QString& s)
{
    static const QString extras = QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ");
    for (QChar c : s) {
        const ushort u = c.unicode();
        if ((u >= 0x20 && u < 0x7f) || (u >= 0xa0 && u <= 0xff) || extras.contains(c))
            continue;
        return false;
    }
    return true;
}

// The first frame marker of a JPEG: 0xC0 baseline, 0xC2 progressive.
int frameMarker(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = f.read(1 << 16);
    for (qsizetype i = 2; i + 3 < head.size();) {
        if (uchar(head[i]) != 0xff)
            return -1;
        const uchar marker = uchar(head[i + 1]);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
            return marker;
        i += 2 + (uchar(head[i + 2]) << 8 | uchar(head[i + 3]));
    }
    return -1;
}

// Where the atlas window draws the 67 x 48 outline (client pixels), mapped
// back onto the 1000 x 720 overview shown half size from (65, 28).
QRect outlineOnOverview(int locTop, int locLeft)
{
    const int top = locTop / 2 + 26, left = locLeft / 2 + 63;
    return { (left - 65) * 2, (top - 28) * 2, 67 * 2, 48 * 2 };
}

} // namespace

class TestAtlasData : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void mapsFields();
    void neighboursAgree();
    void neighboursFollowTheGrid();
    void outlineLandsOnSheetRectangle();
    void outlineMatchesDrawnGrid();
    void catalogueSheetsExist();
    void abbreviations();
    void pictures_data();
    void pictures();
    void everySheetHasItsPicture();
    void installationFiles();

private:
    Table m_maps;
    QHash<QString, QStringList> m_byId;
    int col(const char* name) const { return int(m_maps.header.indexOf(QLatin1String(name))); }
    QString field(const QString& id, const char* name) const { return m_byId.value(id).value(col(name)); }
};

void TestAtlasData::initTestCase()
{
    m_maps = readTable(templateFile(QStringLiteral("MAPS.tsv")));
    QVERIFY2(m_maps.error.isEmpty(), qPrintable(m_maps.error));
    QCOMPARE(m_maps.header.join(u','),
        QStringLiteral("Map,West,East,North,South,Title,Pages,LocTop,LocLeft,Country"));
    for (const QStringList& row : m_maps.rows) {
        QVERIFY2(!m_byId.contains(row[0]), qPrintable(QStringLiteral("sheet listed twice: ") + row[0]));
        m_byId.insert(row[0], row);
    }
}

void TestAtlasData::mapsFields()
{
    QVERIFY2(m_maps.rows.size() >= 40, "fewer than 40 detail sheets");
    QVERIFY2(m_byId.contains(QStringLiteral("GB-03H")), "the first sheet GB-03H is missing");
    QVERIFY(field(QStringLiteral("GB-03H"), "Title").contains(QStringLiteral("London")));
    QCOMPARE(field(QStringLiteral("GB-03H"), "Country"), QStringLiteral("E"));
    for (const QStringList& row : m_maps.rows) {
        const QString id = row[0];
        QVERIFY2(id.size() >= 5 && id.size() <= 10, qPrintable(id));
        for (const char* f : { "West", "East", "North", "South", "Pages" })
            QVERIFY2(field(id, f).size() <= 10, qPrintable(id + QLatin1String(f)));
        QVERIFY2(!field(id, "Title").isEmpty() && field(id, "Title").size() <= 60, qPrintable(id));
        QVERIFY2(!field(id, "Pages").isEmpty(), qPrintable(id));
        QVERIFY2(QStringList(
                     { QStringLiteral("E"), QStringLiteral("I"), QStringLiteral("S"), QStringLiteral("W") })
                     .contains(field(id, "Country")),
            qPrintable(id));
        QVERIFY2(isWindows1252(row.join(QString())), qPrintable(id));
        bool okTop = false, okLeft = false;
        field(id, "LocTop").toInt(&okTop);
        field(id, "LocLeft").toInt(&okLeft);
        QVERIFY2(okTop && okLeft, qPrintable(id));
    }
}

void TestAtlasData::neighboursAgree()
{
    const struct {
        const char *dir, *back;
    } pairs[] = { { "East", "West" }, { "West", "East" }, { "North", "South" }, { "South", "North" } };
    for (const QStringList& row : m_maps.rows) {
        for (const auto& p : pairs) {
            const QString other = field(row[0], p.dir);
            if (other.isEmpty())
                continue;
            QVERIFY2(other.size() >= 5,
                qPrintable(row[0] + QStringLiteral(": neighbour too short to show its arrow")));
            QVERIFY2(
                m_byId.contains(other), qPrintable(row[0] + QStringLiteral(" -> missing sheet ") + other));
            QVERIFY2(field(other, p.back) == row[0],
                qPrintable(QStringLiteral("%1 %2 is %3, but its %4 is '%5'")
                               .arg(row[0], QLatin1String(p.dir), other, QLatin1String(p.back),
                                   field(other, p.back))));
        }
    }
}

void TestAtlasData::neighboursFollowTheGrid()
{
    // "GB-03H": row 03 counted from the south, column H from the west.
    static const QRegularExpression form(QStringLiteral("^(GB|IR)-(\\d\\d)([A-Z])$"));
    auto cell = [](const QString& id) {
        const auto m = form.match(id);
        return m.hasMatch() ? QPoint(m.captured(3).at(0).unicode() - u'A', m.captured(2).toInt())
                            : QPoint(-99, -99);
    };
    QHash<QPoint, QString> byCell;
    for (const QStringList& row : m_maps.rows) {
        QVERIFY2(form.match(row[0]).hasMatch(), qPrintable(row[0]));
        byCell.insert(cell(row[0]), row[0]);
    }
    for (const QStringList& row : m_maps.rows) {
        const QPoint c = cell(row[0]);
        QCOMPARE(field(row[0], "East"), byCell.value(c + QPoint(1, 0)));
        QCOMPARE(field(row[0], "West"), byCell.value(c + QPoint(-1, 0)));
        QCOMPARE(field(row[0], "North"), byCell.value(c + QPoint(0, 1)));
        QCOMPARE(field(row[0], "South"), byCell.value(c + QPoint(0, -1)));
    }
}

void TestAtlasData::outlineLandsOnSheetRectangle()
{
    // The atlas window's first showing draws the outline at top 242, left 404
    // for GB-03H without reading the record: the record must agree.
    const QRect london = outlineOnOverview(field(QStringLiteral("GB-03H"), "LocTop").toInt(),
        field(QStringLiteral("GB-03H"), "LocLeft").toInt());
    QCOMPARE(london, QRect((404 - 65) * 2, (242 - 28) * 2, 134, 96));

    auto overviewOf = [](const QString& country) {
        return country == u"S" ? QStringLiteral("LOC-N") : QStringLiteral("LOC-S");
    };
    QHash<QString, QList<QPair<QString, QRect>>> placed;
    for (const QStringList& row : m_maps.rows) {
        const QString id = row[0];
        const QRect r = outlineOnOverview(field(id, "LocTop").toInt(), field(id, "LocLeft").toInt());
        QVERIFY2(QRect(0, 0, 1000, 720).contains(r),
            qPrintable(id + QStringLiteral(" outline leaves its overview")));
        // same 134 x 96 lattice as GB-03H on both overviews
        QVERIFY2((r.left() - london.left()) % 134 == 0 && (r.top() - london.top()) % 96 == 0, qPrintable(id));
        for (const auto& other : placed[overviewOf(field(id, "Country"))])
            QVERIFY2(
                !other.second.intersects(r), qPrintable(id + QStringLiteral(" overlaps ") + other.first));
        placed[overviewOf(field(id, "Country"))] << qMakePair(id, r);
    }
    // neighbours on the same overview sit side by side on it
    for (const QStringList& row : m_maps.rows) {
        const QString id = row[0], east = field(id, "East"), north = field(id, "North");
        const QRect r = outlineOnOverview(field(id, "LocTop").toInt(), field(id, "LocLeft").toInt());
        if (!east.isEmpty() && overviewOf(field(east, "Country")) == overviewOf(field(id, "Country")))
            QCOMPARE(outlineOnOverview(field(east, "LocTop").toInt(), field(east, "LocLeft").toInt()),
                r.translated(134, 0));
        if (!north.isEmpty() && overviewOf(field(north, "Country")) == overviewOf(field(id, "Country")))
            QCOMPARE(outlineOnOverview(field(north, "LocTop").toInt(), field(north, "LocLeft").toInt()),
                r.translated(0, -96));
    }
}

void TestAtlasData::outlineMatchesDrawnGrid()
{
    // The overview draws each sheet's rectangle; the outline must lie on it,
    // not a few pixels beside it.
    QHash<QString, QImage> overviews;
    for (const QString& id : { QStringLiteral("LOC-S"), QStringLiteral("LOC-N") }) {
        overviews.insert(id, QImage(mapFile(id)).convertToFormat(QImage::Format_RGB32));
        QVERIFY2(!overviews[id].isNull(), qPrintable(id));
    }
    // mean grey of a horizontal or vertical run of pixels
    auto run = [](const QImage& img, QPoint from, QPoint step, int count) {
        double sum = 0;
        int n = 0;
        for (QPoint p = from; count-- > 0; p += step)
            if (img.rect().contains(p)) {
                sum += qGray(img.pixel(p));
                ++n;
            }
        return n ? sum / n : 255.0;
    };
    for (const QStringList& row : m_maps.rows) {
        const QString id = row[0];
        const QImage& img
            = overviews[field(id, "Country") == u"S" ? QStringLiteral("LOC-N") : QStringLiteral("LOC-S")];
        const QRect r = outlineOnOverview(field(id, "LocTop").toInt(), field(id, "LocLeft").toInt());
        // each side: the line under it against the line 6 pixels inside
        const struct {
            QPoint from, step, inward;
            int count;
        } sides[] = { { r.topLeft() + QPoint(4, 0), { 1, 0 }, { 0, 6 }, r.width() - 8 },
            { r.bottomLeft() + QPoint(4, 0), { 1, 0 }, { 0, -6 }, r.width() - 8 },
            { r.topLeft() + QPoint(0, 4), { 0, 1 }, { 6, 0 }, r.height() - 8 },
            { r.topRight() + QPoint(0, 4), { 0, 1 }, { -6, 0 }, r.height() - 8 } };
        for (const auto& side : sides) {
            const double on = run(img, side.from, side.step, side.count);
            const double off = run(img, side.from + side.inward, side.step, side.count);
            QVERIFY2(on + 20 < off,
                qPrintable(QStringLiteral("%1: no grid line under the outline (%2 vs %3)")
                               .arg(id)
                               .arg(on)
                               .arg(off)));
        }
    }
}

void TestAtlasData::catalogueSheetsExist()
{
    const Table cat = readTable(templateFile(QStringLiteral("MAPCAT.tsv")));
    QVERIFY2(cat.error.isEmpty(), qPrintable(cat.error));
    QCOMPARE(cat.header.join(u','), QStringLiteral("ID,County,Map"));
    QVERIFY2(cat.rows.size() >= 39 + 12 + 33 + 32, "counties missing from the catalogue");
    QSet<QString> countries;
    for (qsizetype i = 0; i < cat.rows.size(); ++i) {
        const QStringList& r = cat.rows[i];
        QCOMPARE(r[0].toInt(), int(i + 1));
        QVERIFY2(!r[1].isEmpty() && r[1].size() <= 80 && isWindows1252(r[1]), qPrintable(r[1]));
        QVERIFY2(m_byId.contains(r[2]), qPrintable(r[1] + QStringLiteral(" -> not in MAPS: ") + r[2]));
        QVERIFY2(QFile::exists(mapFile(r[2])), qPrintable(r[1] + QStringLiteral(" -> no picture ") + r[2]));
        if (i > 0)
            QVERIFY2(QString::compare(cat.rows[i - 1][1], r[1], Qt::CaseInsensitive) <= 0, qPrintable(r[1]));
        countries.insert(r[1].section(u'(', -1).chopped(1));
    }
    QCOMPARE(countries,
        QSet<QString>({ QStringLiteral("England"), QStringLiteral("Wales"), QStringLiteral("Scotland"),
            QStringLiteral("Ireland") }));
}

void TestAtlasData::abbreviations()
{
    const Table t = readTable(templateFile(QStringLiteral("ABBREV.tsv")));
    QVERIFY2(t.error.isEmpty(), qPrintable(t.error));
    QCOMPARE(t.header.join(u','), QStringLiteral("Abbrev,Spelling,Language,Meaning"));
    QVERIFY2(t.rows.size() >= 80, "fewer than 80 abbreviations");
    int longer = 0;
    for (const QStringList& r : t.rows) {
        for (const QString& f : r)
            QVERIFY2(!f.isEmpty() && f.size() <= 60 && isWindows1252(f), qPrintable(r.join(u'|')));
        if (std::any_of(r.begin(), r.end(), [](const QString& f) { return f.size() > 25; }))
            ++longer;
    }
    QVERIFY2(longer >= 3, "no values longer than the grid column");
}

void TestAtlasData::pictures_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("shownWidth"); // 0: not scaled into a box
    QTest::addColumn<QSize>("exact");
    QTest::newRow("first sheet") << QStringLiteral("GB-03H") << 0 << QSize(4020, 2880);
    QTest::newRow("south overview") << QStringLiteral("LOC-S") << 0 << QSize(1000, 720);
    QTest::newRow("north overview") << QStringLiteral("LOC-N") << 0 << QSize(1000, 720);
    QTest::newRow("British key") << QStringLiteral("GB-KEY") << 376 << QSize();
    QTest::newRow("British scale") << QStringLiteral("GB-SCALE") << 342 << QSize();
    QTest::newRow("Irish key") << QStringLiteral("IR-KEY") << 521 << QSize();
    QTest::newRow("Irish scale") << QStringLiteral("IR-SCALE") << 521 << QSize();
}

void TestAtlasData::pictures()
{
    QFETCH(QString, id);
    QFETCH(int, shownWidth);
    QFETCH(QSize, exact);
    QImageReader reader(mapFile(id));
    QVERIFY2(reader.canRead(), qPrintable(id + QStringLiteral(": ") + reader.errorString()));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QSize size = reader.size();
    if (exact.isValid())
        QCOMPARE(size, exact);
    if (shownWidth > 0) {
        // Shown in a box of that width and 720 high, aspect kept: the
        // picture should fill the width without running past the height.
        const double heightAtWidth = double(size.height()) * shownWidth / size.width();
        QVERIFY2(heightAtWidth <= 720.5 && heightAtWidth > 650, qPrintable(QString::number(heightAtWidth)));
    }
    QCOMPARE(frameMarker(mapFile(id)), 0xc0); // baseline
}

void TestAtlasData::everySheetHasItsPicture()
{
    for (const QStringList& row : m_maps.rows) {
        QImageReader reader(mapFile(row[0]));
        QVERIFY2(reader.canRead(), qPrintable(row[0] + QStringLiteral(": ") + reader.errorString()));
        const QSize s = reader.size();
        QVERIFY2(s.width() >= 4000, qPrintable(row[0]));
        // a sheet covers a 134 x 96 cell of its overview
        QVERIFY2(std::abs(s.width() * 96 - s.height() * 134) <= 134, qPrintable(row[0]));
        QCOMPARE(frameMarker(mapFile(row[0])), 0xc0);
    }
    QImage first(mapFile(QStringLiteral("GB-03H")));
    QVERIFY(!first.isNull()); // decodes, not only a readable header
}

void TestAtlasData::installationFiles()
{
    QImageReader splash(kShare + QStringLiteral("/splash.jpg"));
    QCOMPARE(splash.size(), QSize(764, 460));
    for (const char* page : { "viewing.htm", "descrip.htm", "abbrev.htm", "jotpad.htm", "altchar.htm",
             "BritKey.HTM", "IrishKey.HTM" }) {
        QFile f(templateFile(QStringLiteral("Help/")) + QLatin1String(page));
        QVERIFY2(f.open(QIODevice::ReadOnly), page);
        QVERIFY2(f.readAll().contains("</html>"), page);
    }
    for (const QString& rtf : { templateFile(QStringLiteral("Help/MANUAL.RTF")),
             templateFile(QStringLiteral("Reports/ABBREV.RTF")) }) {
        QFile f(rtf);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(rtf));
        const QByteArray text = f.readAll();
        QVERIFY2(text.startsWith("{\\rtf1") && text.count('{') == text.count('}'), qPrintable(rtf));
    }
    // the report is made from the table: every abbreviation is in it
    QFile report(templateFile(QStringLiteral("Reports/ABBREV.RTF")));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QByteArray rtf = report.readAll();
    const Table t = readTable(templateFile(QStringLiteral("ABBREV.tsv")));
    QCOMPARE(rtf.count("\\row"), int(t.rows.size()) + 1);
}

QTEST_GUILESS_MAIN(TestAtlasData)
#include "test_atlasdata.moc"
