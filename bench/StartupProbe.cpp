#include "bench/StartupProbe.h"
#include "bench/Child.h"

#ifdef FORGEWAY_BENCH_XCB
#include <xcb/xcb.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

#ifdef FORGEWAY_BENCH_XCB
namespace {

// Milliseconds from exec to the first MapNotify of a top-level window; -1 on
// a timeout.
double oneStart(xcb_connection_t *c, xcb_window_t root, const std::string &app,
                const std::string &display) {
    const std::int64_t t0 = NowNs();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("DISPLAY", display.c_str(), 1);
        execl(app.c_str(), app.c_str(), (char *)nullptr);
        _exit(127);
    }
    double ms = -1;
    while (ms < 0 && NowNs() - t0 < 10'000'000'000) {
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, 100);
        while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto *m = reinterpret_cast<xcb_map_notify_event_t *>(e);
                if (m->event == root && !m->override_redirect && ms < 0)
                    ms = double(NowNs() - t0) / 1e6;
            }
            std::free(e);
        }
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    // Drain what the window's end sent.
    usleep(100'000);
    while (xcb_generic_event_t *e = xcb_poll_for_event(c))
        std::free(e);
    return ms;
}

} // namespace
#endif

std::vector<double> MeasureStartup(const std::string &app, const std::string &display, int count) {
    std::vector<double> out;
#ifdef FORGEWAY_BENCH_XCB
    int screenNo = 0;
    xcb_connection_t *c = xcb_connect(display.c_str(), &screenNo);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "start-up: cannot reach X server %s\n", display.c_str());
        xcb_disconnect(c);
        return out;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNo; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip: the listening is in force before the first start.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    for (int i = 0; i < count; ++i) {
        const double ms = oneStart(c, root, app, display);
        if (ms >= 0)
            out.push_back(ms);
        else
            std::fprintf(stderr, "start-up: no window within 10 s\n");
    }
    xcb_disconnect(c);
#else
    (void)app, (void)display, (void)count;
#endif
    return out;
}

} // namespace bench
