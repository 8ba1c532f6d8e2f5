// Large decodes for later take turns: a decode ahead or a pyramid build of a
// sheet that needs much memory waits while another holds the turn, a build
// lets decodes ahead go first, and the user's own decode waits only for a
// decode for later to free its buffers, never for it to finish.

#include "kit/atlas_fixture.h"

#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QSize kBox(500, 360);
// Steps that must not wait come back well before OtherHeavyDecode lets go.
constexpr int kPromptMs = 2500;

struct Drive {
    Kit kit;
    QTemporaryDir folder;
    QTemporaryDir cache;
    Drive()
    {
        kit.setDrive(QLatin1Char('D'), folder.path(), true);
        // Its coefficients make a progressive sheet of 1200 x 900 heavy; a
        // small baseline one is not.
        platform::setHeavyDecodeBytes(qint64(1) << 20);
        fixture::writeBytes(
            host(u"HEAVY.JPG"_s), fixture::encodeJpeg(fixture::patterned({ 1200, 900 }), 85, true));
        fixture::writeBytes(host(u"LIGHT.JPG"_s), fixture::encodeJpeg(fixture::patterned({ 640, 480 })));
    }
    ~Drive() { platform::setHeavyDecodeBytes(0); }
    QString host(const QString& name) const { return folder.path() + QLatin1Char('/') + name; }
    static QString windows(const QString& name) { return u"D:\\"_s + name; }
    std::shared_ptr<platform::TilePyramid> pyramid() const
    {
        platform::TilePyramid::Options options;
        options.folder = cache.path();
        options.tileSize = 128;
        return std::make_shared<platform::TilePyramid>(options);
    }
};

// Another large decode for later, holding the turn on a background thread
// of its own until released, and for five seconds at the most: a step that
// wrongly waits for it comes back late instead of never. It pauses and gives
// way as the real decoders do at each of their steps.
class OtherHeavyDecode {
public:
    explicit OtherHeavyDecode(
        platform::HeavyDecodeTurn::Order order = platform::HeavyDecodeTurn::BeforeBuilds)
        : m_thread(QThread::create([this, order] {
            platform::markBackgroundThread();
            const platform::HeavyDecodeTurn turn(order);
            m_holding.release();
            for (int step = 0; step < 1000 && !m_release.tryAcquire(1, 5); ++step) {
                platform::yieldToForeground();
                if (platform::mustGiveWay()) {
                    m_gaveWay = true;
                    return;
                }
            }
        }))
    {
        m_thread->start();
        m_holding.acquire();
    }
    ~OtherHeavyDecode() { release(); }
    void release()
    {
        m_release.release();
        m_thread->wait();
    }
    bool gaveWay() const { return m_gaveWay; }

private:
    QSemaphore m_holding;
    QSemaphore m_release;
    std::atomic<bool> m_gaveWay { false };
    std::unique_ptr<QThread> m_thread;
};

// Decodes ahead that hang until let go (five seconds at the most), so that
// one is underway for as long as a test needs.
class HeldStore : public platform::PictureStore {
public:
    explicit HeldStore(QSemaphore* go)
        : PictureStore(qsizetype(8) << 20, [go](const QString&, const QString&, QSize box, bool* damaged) {
            go->tryAcquire(1, 5000);
            *damaged = false;
            QImage image(box, QImage::Format_RGB32);
            image.fill(Qt::gray);
            return image;
        })
    {
    }
};

qint64 residentBytes()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGE_SIZE) : 0;
}

qint64 msecsOf(const std::function<void()>& step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    return clock.elapsed();
}

} // namespace

class TestDecodeTurns : public QObject {
    Q_OBJECT

private slots:
    void aDecodeAheadWaitsOnlyWhenItIsHeavy_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<bool>("waits");
        QTest::newRow("progressive, coefficients of the whole sheet") << u"HEAVY.JPG"_s << true;
        QTest::newRow("baseline, decoded row by row") << u"LIGHT.JPG"_s << false;
    }
    void aDecodeAheadWaitsOnlyWhenItIsHeavy()
    {
        QFETCH(QString, sheet);
        QFETCH(bool, waits);
        Drive drive;
        platform::PictureStore store;
        OtherHeavyDecode other;
        store.decodeAhead({ Drive::windows(sheet) }, kBox);
        if (waits) {
            QTRY_COMPARE(platform::HeavyDecodeTurn::waiting(), 1);
            QVERIFY(!store.contains(Drive::windows(sheet), kBox));
            other.release();
        }
        QVERIFY(store.waitForIdle(kPromptMs));
        QVERIFY(store.contains(Drive::windows(sheet), kBox));
    }

    // What the user does next drops a decode ahead that waits for its turn,
    // promptly, with the turn still taken.
    void aWaitingDecodeAheadGivesWayToTheUser_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("shows that sheet") << u"load"_s;
        QTest::newRow("moves on to other sheets") << u"ahead"_s;
        QTest::newRow("closes the window") << u"close"_s;
    }
    void aWaitingDecodeAheadGivesWayToTheUser()
    {
        QFETCH(QString, step);
        Drive drive;
        auto store = std::make_unique<platform::PictureStore>();
        OtherHeavyDecode other;
        const QString heavy = Drive::windows(u"HEAVY.JPG"_s);
        store->decodeAhead({ heavy }, kBox);
        QTRY_COMPARE(platform::HeavyDecodeTurn::waiting(), 1);
        QImage shown;
        const qint64 ms = msecsOf([&] {
            if (step == u"load"_s)
                shown = store->load(heavy, kBox);
            else if (step == u"ahead"_s)
                store->decodeAhead({ Drive::windows(u"LIGHT.JPG"_s) }, kBox);
            else
                store.reset();
        });
        QVERIFY2(ms < kPromptMs, qPrintable(u"%1 ms"_s.arg(ms)));
        QTRY_COMPARE_WITH_TIMEOUT(platform::HeavyDecodeTurn::waiting(), 0, kPromptMs);
        if (store)
            QVERIFY(store->waitForIdle(kPromptMs));
        if (step == u"load"_s)
            QCOMPARE(shown.size(), QSize(480, 360));
    }

    void aHeavyBuildWaitsForItsTurn_data()
    {
        QTest::addColumn<bool>("closeWhileWaiting");
        QTest::newRow("the turn is freed") << false;
        QTest::newRow("the builder is closed") << true;
    }
    void aHeavyBuildWaitsForItsTurn()
    {
        QFETCH(bool, closeWhileWaiting);
        Drive drive;
        auto builder = std::make_unique<platform::PyramidBuilder>(drive.pyramid());
        QStringList ready;
        // Delivered through the builder, so that none arrives once it is gone
        // (a check that fails returns before the build ends).
        connect(builder.get(), &platform::PyramidBuilder::ready, builder.get(),
            [&](const QString& p) { ready << p; });
        OtherHeavyDecode other;
        builder->request(Drive::windows(u"HEAVY.JPG"_s), true);
        QTRY_COMPARE(platform::HeavyDecodeTurn::waiting(), 1);
        if (closeWhileWaiting) {
            const qint64 ms = msecsOf([&] { builder.reset(); });
            QVERIFY2(ms < kPromptMs, qPrintable(u"%1 ms"_s.arg(ms)));
            QCOMPARE(platform::HeavyDecodeTurn::waiting(), 0);
            return;
        }
        QVERIFY(!builder->waitForIdle(200));
        other.release();
        QVERIFY(builder->waitForIdle(10000));
        QTRY_COMPARE(ready, QStringList { Drive::windows(u"HEAVY.JPG"_s) });
    }

    // Never two heavy buffers at once: the user's heavy decode has a decode
    // for later give its buffers back; a light one only pauses a build,
    // while a decode ahead, only a guess, gives way to anything the user does.
    void aDecodeForLaterGivesWayToTheUser_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<bool>("givesWay");
        QTest::newRow("build, heavy sheet shown")
            << int(platform::HeavyDecodeTurn::AfterDecodesAhead) << u"HEAVY.JPG"_s << true;
        QTest::newRow("build, light sheet shown")
            << int(platform::HeavyDecodeTurn::AfterDecodesAhead) << u"LIGHT.JPG"_s << false;
        QTest::newRow("decode ahead, light sheet shown")
            << int(platform::HeavyDecodeTurn::BeforeBuilds) << u"LIGHT.JPG"_s << true;
    }
    void aDecodeForLaterGivesWayToTheUser()
    {
        QFETCH(int, order);
        QFETCH(QString, sheet);
        QFETCH(bool, givesWay);
        Drive drive;
        platform::PictureStore store;
        OtherHeavyDecode other { platform::HeavyDecodeTurn::Order(order) };
        QImage shown;
        const qint64 ms = msecsOf([&] {
            const platform::ForegroundDecode user; // long enough to be seen by a check every 5 ms
            QThread::msleep(50);
            shown = store.load(Drive::windows(sheet), kBox);
        });
        QVERIFY2(ms < kPromptMs, qPrintable(u"%1 ms"_s.arg(ms)));
        QVERIFY(!shown.isNull());
        QCOMPARE(other.gaveWay(), givesWay);
    }

    // What a worker freed between blocks still in use stays in the
    // allocator's arena for that worker; a heavy decode taking its turn
    // gives it back to the system before it makes its own buffers.
    void takingTheTurnGivesFreedMemoryBack()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's allocator keeps freed memory for itself");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        QSKIP("the sanitizer's allocator keeps freed memory for itself");
#endif
#endif
        constexpr size_t kBlock = 100 * 1024; // below what the allocator maps on its own
        QSemaphore freed;
        QSemaphore done;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            std::vector<void*> blocks;
            for (int i = 0; i < 320; ++i) {
                blocks.push_back(std::malloc(kBlock));
                std::memset(blocks.back(), 1, kBlock);
            }
            std::vector<void*> kept; // every tenth, the last one too: 29 MB of holes
            for (size_t i = 0; i < blocks.size(); ++i) {
                if (i % 10 == 9)
                    kept.push_back(blocks[i]);
                else
                    std::free(blocks[i]);
            }
            freed.release();
            done.acquire(); // a worker that lives on, as the program's do
            for (void* block : kept)
                std::free(block);
        }));
        worker->start();
        freed.acquire();
        const qint64 before = residentBytes();
        {
            const platform::HeavyDecodeTurn turn(platform::HeavyDecodeTurn::UserDecode);
        }
        const qint64 given = before - residentBytes();
        done.release();
        worker->wait();
        QVERIFY2(given > qint64(20) << 20, qPrintable(u"%1 MB given back"_s.arg(given >> 20)));
    }

    // A real build that gave way starts again and finishes once the user's
    // decode is done; the user's picture came first.
    void aBuildThatGaveWayStillFinishes()
    {
        Drive drive;
        fixture::writeBytes(
            drive.host(u"LARGE.JPG"_s), fixture::encodeJpeg(fixture::patterned({ 2400, 1800 }), 90, true));
        platform::PyramidBuilder builder(drive.pyramid());
        QStringList failed;
        connect(&builder, &platform::PyramidBuilder::failed, this,
            [&](const QString&, const QString& message) { failed << message; });
        platform::PictureStore store;
        QImage shown;
        {
            // A light decode of the user's underway: the build takes its
            // turn and pauses at its first step, its buffers made.
            const platform::ForegroundDecode pause;
            builder.request(Drive::windows(u"LARGE.JPG"_s), true);
            QTest::qWait(300);
            QCOMPARE(platform::HeavyDecodeTurn::waiting(), 0);
            QVERIFY(!builder.waitForIdle(0));
            const qint64 ms = msecsOf([&] { shown = store.load(Drive::windows(u"HEAVY.JPG"_s), kBox); });
            QVERIFY2(ms < kPromptMs, qPrintable(u"%1 ms"_s.arg(ms)));
        }
        QCOMPARE(shown.size(), QSize(480, 360));
        QVERIFY(builder.waitForIdle(20000));
        QCOMPARE(failed, QStringList());
        QVERIFY(builder.pyramid()->isReady(Drive::windows(u"LARGE.JPG"_s)));
    }

    // The next sheet's picture matters more than zooming into this one: a
    // heavy build begins only when no decode ahead is queued or underway.
    void aHeavyBuildLetsDecodesAheadGoFirst()
    {
        Drive drive;
        QSemaphore go;
        HeldStore store(&go);
        store.decodeAhead({ Drive::windows(u"LIGHT.JPG"_s) }, kBox);
        platform::PyramidBuilder builder(drive.pyramid());
        builder.request(Drive::windows(u"HEAVY.JPG"_s), true);
        QTRY_COMPARE(platform::HeavyDecodeTurn::waiting(), 1);
        QVERIFY(!builder.waitForIdle(200));
        go.release();
        QVERIFY(store.waitForIdle(kPromptMs));
        QVERIFY(builder.waitForIdle(10000));
        QVERIFY(builder.pyramid()->isReady(Drive::windows(u"HEAVY.JPG"_s)));
    }
};

QTEST_MAIN(TestDecodeTurns)
#include "test_decode_turns.moc"
