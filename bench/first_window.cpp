// first_window [--settle MS] PROGRAM [ARGS...]
//
// Starts PROGRAM and waits for its first top-level window to be mapped on the X display, then
// lets it run MS milliseconds more (500 by default) so that it paints, and ends it. Prints
// "START_MS PEAK_KB": the time from just before the program was started to the map, and the
// program's peak resident memory. The watch on the root window is set up before the program
// starts, so no map can be missed, and nothing in the program under test has to cooperate.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

double nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

int usage() {
    std::fprintf(stderr, "usage: first_window [--settle MS] PROGRAM [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    int settleMs = 500;
    if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
        settleMs = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        return usage();
    }

    // A display server that was just started may not accept connections for a moment.
    int screenNumber = 0;
    xcb_connection_t* connection = nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        connection = xcb_connect(nullptr, &screenNumber);
        if (!xcb_connection_has_error(connection)) {
            break;
        }
        xcb_disconnect(connection);
        connection = nullptr;
        usleep(50 * 1000);
    }
    if (connection == nullptr) {
        std::fprintf(stderr, "first_window: cannot open the display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_window_t root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_generic_error_t* error = xcb_request_check(
        connection,
        xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask));
    if (error != nullptr) {
        std::fprintf(stderr, "first_window: cannot watch the root window\n");
        return 1;
    }

    const double start = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        std::perror(argv[first]);
        _exit(127);
    }

    double shown = -1;
    pollfd watch{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (shown < 0) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event,
                                                                                   std::free);
            if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) {
                continue;
            }
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            // Menus and tooltips bypass the window manager; only a real window counts.
            if (map->event == root && !map->override_redirect) {
                shown = nowMs();
                break;
            }
        }
        if (shown >= 0) {
            break;
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "first_window: %s ended without showing a window\n", argv[first]);
            return 1;
        }
        if (xcb_connection_has_error(connection)) {
            return 1;
        }
        poll(&watch, 1, 100);
    }

    usleep(static_cast<useconds_t>(settleMs) * 1000);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    std::printf("%.3f %ld\n", shown - start, usage.ru_maxrss);
    xcb_disconnect(connection);
    return 0;
}
