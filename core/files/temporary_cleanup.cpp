#include "core/files/temporary_cleanup.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/files/temporary_names.h"

namespace plimbrook {

namespace {

// Named temporaries not yet committed or discarded. A program ended by a signal, or by exit() as
// Qt's X11 plugin does when the display goes away, never unwinds to the destructors that would
// remove them; this list lets a handler do it. Fixed storage, as a signal handler may only read
// memory and call unlinkat. The storage is zero pages until a slot is used.
struct PendingTemporary {
    int dir;
    char name[NAME_MAX + 1];
};
PendingTemporary pendingTemporaries[kPendingSlots];
volatile std::sig_atomic_t pendingUsed[kPendingSlots];

void removePending() {
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (pendingUsed[slot]) {
            ::unlinkat(pendingTemporaries[slot].dir, pendingTemporaries[slot].name, 0);
            pendingUsed[slot] = 0;
        }
    }
}

extern "C" void removePendingAndDie(int signal) {
    removePending();
    // The handler was reset on entry; the signal raised again ends the program as it would have.
    ::raise(signal);
}

}  // namespace

namespace {

// Asked once per temporary: kept, and learnt anew in a forked child.
std::atomic<long> knownRun{0};

void forgetRun() {
    knownRun.store(0);
}

}  // namespace

long thisRun() {
    long run = knownRun.load();
    if (run == 0) {
        static const int watching = ::pthread_atfork(nullptr, nullptr, forgetRun);
        static_cast<void>(watching);
        run = static_cast<long>(::getpid());
        knownRun.store(run);
    }
    return run;
}

bool runIsAlive(long run) {
    // EPERM: alive, but another user's.
    return ::kill(static_cast<pid_t>(run), 0) == 0 || errno == EPERM;
}

std::string_view thisMachine() {
    static const std::string mark = [] {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        return machineMark(host);
    }();
    return mark;
}

int rememberPending(int dir, const std::string& name) {
    if (name.size() > NAME_MAX) {
        return -1;
    }
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (!pendingUsed[slot]) {
            pendingTemporaries[slot].dir = dir;
            std::memcpy(pendingTemporaries[slot].name, name.c_str(), name.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            pendingUsed[slot] = 1;
            return slot;
        }
    }
    return -1;
}

void forgetPending(int slot) {
    if (slot >= 0) {
        pendingUsed[slot] = 0;
    }
}

void removeTemporariesOnTermination() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    std::atexit(removePending);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
            continue;  // a signal ignored on purpose, as under nohup, stays ignored
        }
        action = {};
        action.sa_handler = removePendingAndDie;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
    // Past a file-size limit a write then fails with EFBIG, reported and cleaned up like a
    // full disk, instead of the program dying on the spot.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

}  // namespace plimbrook
