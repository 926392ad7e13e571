#include "core/stop_signal.h"

#include <cerrno>
#include <csignal>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace velmora {
namespace {

volatile std::sig_atomic_t gStopSignal = 0;
// Written by the handler so that a wait on input wakes at once, with no
// window between checking the flag and waiting (the self-pipe trick).
int gWakeRead = -1;
int gWakeWrite = -1;

extern "C" void NoteStopSignal(int signal) {
    gStopSignal = signal;
#ifndef _WIN32
    if (gWakeWrite >= 0) {
        const int saved = errno; // only async-signal-safe calls here
        const char byte = 1;
        [[maybe_unused]] const auto ignored = write(gWakeWrite, &byte, 1);
        errno = saved;
    }
#endif
}

#ifndef _WIN32
void MakeWakePipe() {
    if (gWakeRead >= 0) {
        return;
    }
    int ends[2];
    if (pipe(ends) != 0) {
        return; // waits then fall back to a short poll
    }
    for (const int end : ends) {
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK); // a full pipe never blocks
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    gWakeRead = ends[0];
    gWakeWrite = ends[1];
}
#endif

} // namespace

void CatchStopSignals() {
#ifndef _WIN32
    MakeWakePipe();
#endif
    std::signal(SIGINT, NoteStopSignal);
    std::signal(SIGTERM, NoteStopSignal);
#ifdef SIGHUP
    std::signal(SIGHUP, NoteStopSignal);
#endif
}

int StopRequested() {
    return gStopSignal;
}

int StopSignalDescriptor() {
#ifndef _WIN32
    return gWakeRead;
#else
    return -1;
#endif
}

int StatusAfterStop(int otherwise) {
    return gStopSignal != 0 ? 128 + gStopSignal : otherwise;
}

long ReadUnlessStopped(int fd, void* into, std::size_t size) {
#ifndef _WIN32
    while (gStopSignal == 0) {
        pollfd waits[2] = {{fd, POLLIN, 0}, {gWakeRead, POLLIN, 0}};
        // Without the pipe a stop is seen within the poll's timeout.
        const int ready = poll(waits, gWakeRead >= 0 ? 2 : 1, gWakeRead >= 0 ? -1 : 100);
        if (ready < 0 && errno != EINTR) {
            return -1;
        }
        if (ready > 0 && waits[0].revents != 0) {
            const auto got = read(fd, into, size);
            if (got >= 0 || (errno != EINTR && errno != EAGAIN)) {
                return static_cast<long>(got);
            }
        }
    }
    return kStopped;
#else
    if (gStopSignal != 0) {
        return kStopped;
    }
    return _read(fd, into, static_cast<unsigned>(size));
#endif
}

} // namespace velmora
