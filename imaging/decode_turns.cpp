// Who decodes when: the user's own decode goes first (background decodes
// pause while it runs), and large background decodes take turns so that at
// most one holds its buffers at a time.
#include "imaging/pictures.h"

#include "imaging/decoding_internal.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> g_foregroundDecodes { 0 };
thread_local bool t_background = false;

constexpr qint64 kHeavyDecodeBytes = qint64(64) << 20;
std::atomic<qint64> g_heavyForTests { 0 };
// Decodes ahead queued or underway in every store: pyramid builds wait for them.
std::atomic<int> g_decodesAhead { 0 };

struct TurnGate {
    QMutex mutex;
    QWaitCondition freed;
    bool held = false;
    int waiting = 0;
};

TurnGate& turnGate()
{
    static TurnGate gate;
    return gate;
}

} // namespace

void decoding::countDecodesAhead(int delta)
{
    g_decodesAhead += delta;
}

ForegroundDecode::ForegroundDecode()
{
    ++g_foregroundDecodes;
}

ForegroundDecode::~ForegroundDecode()
{
    --g_foregroundDecodes;
}

void markBackgroundThread()
{
    if (t_background)
        return;
    t_background = true;
    // A nicer thread of this process only; the user's thread keeps its
    // share of the processor on a busy machine.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
}

void yieldToForeground()
{
    while (t_background && g_foregroundDecodes.load() > 0)
        QThread::msleep(2);
}

bool isBackgroundThread()
{
    return t_background;
}

HeavyDecodeTurn::HeavyDecodeTurn(Order order, const std::function<bool()>& wanted)
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    ++gate.waiting;
    for (;;) {
        if (!gate.held && (order == BeforeBuilds || g_decodesAhead.load() == 0))
            break;
        lock.unlock();
        const bool stillWanted = !wanted || wanted();
        lock.relock();
        if (!stillWanted) {
            --gate.waiting;
            return;
        }
        // Decodes ahead come and go without a signal: look again soon.
        gate.freed.wait(&gate.mutex, 10);
    }
    --gate.waiting;
    gate.held = m_held = true;
}

HeavyDecodeTurn::~HeavyDecodeTurn()
{
    if (!m_held)
        return;
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    gate.held = false;
    gate.freed.wakeAll();
}

int HeavyDecodeTurn::waiting()
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    return gate.waiting;
}

qint64 heavyDecodeBytes()
{
    const qint64 set = g_heavyForTests.load();
    return set ? set : kHeavyDecodeBytes;
}

void setHeavyDecodeBytes(qint64 bytes)
{
    g_heavyForTests = bytes;
}

} // namespace platform
