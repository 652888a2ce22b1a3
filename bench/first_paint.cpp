// First paint of a window, seen from another X client: every top-level window the program creates gets a
// damage object as it is created, and the first damage to the one with the expected title is its first
// paint.
#include "first_paint.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// CPU time of every thread of the process, in milliseconds, from the scheduler's own nanosecond counts.
double CpuMs(pid_t pid) {
    double ns = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
            double runtime = 0;
            if (stat >> runtime)
                ns += runtime;
        }
        closedir(dir);
    }
    return ns / 1e6;
}

long PeakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(c, cookie, nullptr),
                                                                         &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string Title(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t utf8) {
    const auto cookie = xcb_get_property(c, 0, window, name, utf8, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(xcb_get_property_reply(c, cookie, nullptr),
                                                                          &std::free);
    if (!reply)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

} // namespace

std::optional<StartUpSample> MeasureFirstPaint(const std::string& program, const std::vector<std::string>& args,
                                               const std::string& folder, const std::string& title) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return std::nullopt;
    }
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(c, &xcb_disconnect);
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present)
        return std::nullopt;
    free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // the selection is in place

    const double start = NowMs();
    const pid_t child = fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }

    std::optional<StartUpSample> sample;
    pollfd watch{xcb_get_file_descriptor(c), POLLIN, 0};
    bool done = false;
    while (!done) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7F;
            if (type == XCB_CREATE_NOTIFY) {
                const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
                xcb_damage_create(c, xcb_generate_id(c), created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(c);
            } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY && !done) {
                const auto* damaged = reinterpret_cast<xcb_damage_notify_event_t*>(event);
                if (Title(c, damaged->drawable, netName, utf8) == title) {
                    sample = StartUpSample{NowMs() - start, CpuMs(child), PeakKiB(child)};
                    done = true;
                }
            }
            std::free(event);
        }
        if (done || xcb_connection_has_error(c))
            break;
        if (waitpid(child, nullptr, WNOHANG) == child) // ended before its window was drawn
            return std::nullopt;
        if (NowMs() - start > 120000) // a safety net against a program that never draws, not a measure
            break;
        poll(&watch, 1, 100);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return sample;
}
