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

struct Arguments {
    int settleMs = 500;
    char** program = nullptr;  // PROGRAM and its ARGS, as execvp takes them
};

// False if no PROGRAM is given.
bool parseArguments(int argc, char** argv, Arguments& arguments) {
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
        arguments.settleMs = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        return false;
    }
    arguments.program = argv + first;
    return true;
}

// A display server that was just started may not accept connections for a moment.
xcb_connection_t* connectToDisplay(int& screenNumber) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
        if (!xcb_connection_has_error(connection)) {
            return connection;
        }
        xcb_disconnect(connection);
        usleep(50 * 1000);
    }
    return nullptr;
}

// Asks for every map of a child of the root window; false if the server refuses.
bool watchRootWindow(xcb_connection_t* connection, int screenNumber, xcb_window_t& root) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_generic_error_t* error = xcb_request_check(
        connection,
        xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask));
    return error == nullptr;
}

pid_t startProgram(char** program) {
    const pid_t child = fork();
    if (child == 0) {
        execvp(program[0], program);
        std::perror(program[0]);
        _exit(127);
    }
    return child;
}

// Whether one event is the map of a real window: menus and tooltips bypass the window manager.
bool isTopLevelMap(const xcb_generic_event_t* event, xcb_window_t root) {
    if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) {
        return false;
    }
    const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event);
    return map->event == root && !map->override_redirect;
}

// The time the program's first window was mapped; -1 if the program ended first or the
// display went away.
double waitForFirstWindow(xcb_connection_t* connection, xcb_window_t root, pid_t child,
                          const char* name) {
    pollfd watch{xcb_get_file_descriptor(connection), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event,
                                                                                   std::free);
            if (isTopLevelMap(event, root)) {
                return nowMs();
            }
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "first_window: %s ended without showing a window\n", name);
            return -1;
        }
        if (xcb_connection_has_error(connection)) {
            return -1;
        }
        poll(&watch, 1, 100);
    }
}

// Lets the program paint for `settleMs`, ends it and returns its peak resident memory in KiB.
long settleAndEnd(pid_t child, int settleMs) {
    usleep(static_cast<useconds_t>(settleMs) * 1000);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (!parseArguments(argc, argv, arguments)) {
        return usage();
    }

    int screenNumber = 0;
    xcb_connection_t* connection = connectToDisplay(screenNumber);
    if (connection == nullptr) {
        std::fprintf(stderr, "first_window: cannot open the display\n");
        return 1;
    }
    xcb_window_t root = 0;
    if (!watchRootWindow(connection, screenNumber, root)) {
        std::fprintf(stderr, "first_window: cannot watch the root window\n");
        return 1;
    }

    const double start = nowMs();
    const pid_t child = startProgram(arguments.program);
    const double shown = waitForFirstWindow(connection, root, child, arguments.program[0]);
    if (shown < 0) {
        return 1;
    }

    const long peakKb = settleAndEnd(child, arguments.settleMs);
    std::printf("%.3f %ld\n", shown - start, peakKb);
    xcb_disconnect(connection);
    return 0;
}
