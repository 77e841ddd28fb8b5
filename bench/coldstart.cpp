// mirt_coldstart PROGRAM [RUNS [BARE]]
//
// Cold start of the program on the X display in $DISPLAY: the time from the
// exec of PROGRAM until the X server maps its first top-level window, the
// median of RUNS starts (5 by default), each with fresh settings and data
// folders, as for a user who starts the program for the first time (the
// machine's font caches are used as they are). Prints
// "cold_start_ms: <median>", and each run on the error stream.
//
// With BARE (a Qt program that only shows an empty main window), each start
// of PROGRAM is followed by one of BARE, measured the same way, so both see
// the same load; prints also "cold_start_bare_qt_ms: <median>" and
// "cold_start_over_bare_qt_ms: <median of the differences of each pair>",
// what the program adds to the start of Qt itself.
//
// The map is waited for as an X event, not by polling: before the program
// is started this client asks the server for SubstructureNotify on the root
// window, so every top-level window that is mapped arrives as a MapNotify,
// in order, and the wait blocks in the X connection until one comes. The
// window is the program's when its _NET_WM_PID names the started process.
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

long windowPid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom)
{
    xcb_get_property_reply_t* r
        = xcb_get_property_reply(c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    long pid = -1;
    if (r && xcb_get_property_value_length(r) >= 4)
        pid = long(*static_cast<uint32_t*>(xcb_get_property_value(r)));
    free(r);
    return pid;
}

std::string freshFolder(const char* what)
{
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/mirt-coldstart-%s-XXXXXX", what);
    if (!mkdtemp(name)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return name;
}

// One start: milliseconds from exec to the map of the program's window, or
// a negative number when it never came within timeoutMs.
double startOnce(xcb_connection_t* c, xcb_atom_t pidAtom, char** argv, int timeoutMs)
{
    const std::string config = freshFolder("config");
    const std::string data = freshFolder("data");

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execv(argv[0], argv);
        std::perror("exec");
        _exit(127);
    }

    double mapped = -1;
    const int fd = xcb_get_file_descriptor(c);
    while (mapped < 0) {
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (!e) {
            if (xcb_connection_has_error(c))
                break;
            // Blocks until the server sends something (or the time is up).
            pollfd p{fd, POLLIN, 0};
            const int left = timeoutMs - int(nowMs() - start);
            if (left <= 0 || poll(&p, 1, left) <= 0)
                break;
            continue;
        }
        const double at = nowMs();
        if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
            if (!map->override_redirect && windowPid(c, map->window, pidAtom) == long(pid))
                mapped = at - start;
        }
        free(e);
    }

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    for (const std::string& dir : {config, data}) {
        const std::string rm = "rm -rf '" + dir + "'";
        if (std::system(rm.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
    return mapped;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [RUNS [BARE]]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cold start: cannot open the X display %s\n", getenv("DISPLAY") ? getenv("DISPLAY") : "");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
        std::fprintf(stderr, "cold start: cannot watch the root window (error %d)\n", error->error_code);
        free(error);
        return 1;
    }
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");

    char* program[] = {argv[1], nullptr};
    char* bare[] = {argc > 3 ? argv[3] : nullptr, nullptr};
    std::vector<double> times;
    std::vector<double> bareTimes;
    std::vector<double> over;
    for (int i = 0; i < runs; ++i) {
        const double ms = startOnce(c, pidAtom, program, 20000);
        if (ms < 0) {
            std::fprintf(stderr, "cold start: run %d: no window of %s was mapped within 20 s\n", i + 1, argv[1]);
            return 1;
        }
        std::fprintf(stderr, "cold start run %d: %.1f ms\n", i + 1, ms);
        times.push_back(ms);
        if (!bare[0])
            continue;
        const double bareMs = startOnce(c, pidAtom, bare, 20000);
        if (bareMs < 0) {
            std::fprintf(stderr, "cold start: run %d: no window of %s was mapped within 20 s\n", i + 1, bare[0]);
            return 1;
        }
        std::fprintf(stderr, "cold start run %d of the bare Qt program: %.1f ms\n", i + 1, bareMs);
        bareTimes.push_back(bareMs);
        over.push_back(ms - bareMs);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("cold_start_ms: %.4g\n", median(times));
    if (bare[0]) {
        std::printf("cold_start_bare_qt_ms: %.4g\n", median(bareTimes));
        std::printf("cold_start_over_bare_qt_ms: %.4g\n", median(over));
    }
    xcb_disconnect(c);
    return 0;
}
