// Who decodes when: the user's own decode goes first (background decodes
// pause while it runs, or give their buffers back when it needs as much),
// and large decodes take turns so that at most one holds its buffers at a
// time.
#include "imaging/pictures.h"

#include "imaging/decoding_internal.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>

#include <malloc.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

thread_local bool t_background = false;
// Set while this background thread holds a heavy turn: what it gives way to.
thread_local HeavyDecodeTurn::Order t_holding = HeavyDecodeTurn::UserDecode;
thread_local bool t_holds = false;

constexpr qint64 kHeavyDecodeBytes = qint64(64) << 20;
std::atomic<qint64> g_heavyForTests { 0 };
// Decodes ahead queued or underway in every store: pyramid builds wait for them.
std::atomic<int> g_decodesAhead { 0 };

// One lock for the turn and the user's decodes, so that a paused background
// decode wakes as soon as either changes.
struct TurnGate {
    QMutex mutex;
    QWaitCondition changed;
    bool held = false;
    HeavyDecodeTurn::Order holder = HeavyDecodeTurn::UserDecode;
    int waiting = 0;
    int foreground = 0; // the user's decodes underway
    int userWaiting = 0; // the user's heavy decodes waiting for the turn
};

TurnGate& turnGate()
{
    static TurnGate gate;
    return gate;
}

// Whether this thread, holding the turn for later work, must free its
// buffers now. Called with the gate locked.
bool givesWayLocked(const TurnGate& gate)
{
    if (!t_background || !t_holds)
        return false;
    return gate.userWaiting > 0 || (t_holding == HeavyDecodeTurn::BeforeBuilds && gate.foreground > 0);
}

} // namespace

void decoding::countDecodesAhead(int delta)
{
    g_decodesAhead += delta;
}

ForegroundDecode::ForegroundDecode()
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    ++gate.foreground;
    gate.changed.wakeAll();
}

ForegroundDecode::~ForegroundDecode()
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    --gate.foreground;
    gate.changed.wakeAll();
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
    if (!t_background)
        return;
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    while (gate.foreground > 0 && !givesWayLocked(gate))
        gate.changed.wait(&gate.mutex);
}

bool mustGiveWay()
{
    if (!t_background || !t_holds)
        return false;
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    return givesWayLocked(gate);
}

bool isBackgroundThread()
{
    return t_background;
}

HeavyDecodeTurn::HeavyDecodeTurn(Order order, const std::function<bool()>& wanted)
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    const bool user = order == UserDecode;
    ++(user ? gate.userWaiting : gate.waiting);
    gate.changed.wakeAll(); // a holder that gives way to this one hears it
    for (;;) {
        const bool free = !gate.held && (user || gate.userWaiting == 0);
        if (free && (order != AfterDecodesAhead || g_decodesAhead.load() == 0))
            break;
        if (!user) {
            lock.unlock();
            const bool stillWanted = !wanted || wanted();
            lock.relock();
            if (!stillWanted) {
                --gate.waiting;
                return;
            }
        }
        // Decodes ahead come and go without a signal: look again soon.
        gate.changed.wait(&gate.mutex, 10);
    }
    --(user ? gate.userWaiting : gate.waiting);
    gate.held = m_held = true;
    gate.holder = order;
    if (t_background && !user) {
        t_holds = true;
        t_holding = order;
    }
    lock.unlock();
    // Memory the threads freed (tiles, strips, pictures) stays in the
    // allocator's arenas for their next use; it goes back to the system
    // before the large buffers are made, so that it does not add to them.
    malloc_trim(0);
}

HeavyDecodeTurn::~HeavyDecodeTurn()
{
    if (!m_held)
        return;
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    gate.held = false;
    t_holds = false;
    gate.changed.wakeAll();
}

int HeavyDecodeTurn::waiting()
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    return gate.waiting;
}

bool HeavyDecodeTurn::isHeldBy(Order order)
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    return gate.held && gate.holder == order;
}

int HeavyDecodeTurn::usersWaiting()
{
    TurnGate& gate = turnGate();
    QMutexLocker lock(&gate.mutex);
    return gate.userWaiting;
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
