// The data folder's watch, on inotify.
#include "window/folder_watch.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                        IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFileEvents = IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// A regular file just made with one name is being written: its writer's close tells when it is whole. A link, a
// folder or a second name for a file is whole as it is made, and no close follows.
bool BeingWritten(const inotify_event& event) {
    if (event.len == 0 || (event.mask & IN_ISDIR))
        return false;
    struct stat st {};
    return lstat(event.name, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

} // namespace

FolderWatch::FolderWatch(QObject* parent) : QObject(parent) {}

FolderWatch::~FolderWatch() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatch::start() {
    if (m_fd >= 0)
        return true;
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_folder = inotify_add_watch(m_fd, ".", kFolderEvents);
    if (m_folder < 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::readEvents);
    return true;
}

void FolderWatch::watchFiles(const std::vector<std::string>& paths) {
    if (m_fd < 0)
        return;
    std::vector<int> now;
    for (const std::string& path : paths)
        if (const int wd = inotify_add_watch(m_fd, path.c_str(), kFileEvents); wd >= 0 && wd != m_folder)
            now.push_back(wd);
    for (const int wd : m_files)
        if (std::find(now.begin(), now.end(), wd) == now.end())
            inotify_rm_watch(m_fd, wd);
    m_files = std::move(now);
}

void FolderWatch::readEvents() {
    alignas(inotify_event) char buffer[8192];
    bool told = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_IGNORED) // a watch ended; what ended it was an event of its own
                continue;
            if ((event->mask & IN_CREATE) && event->wd == m_folder && BeingWritten(*event))
                continue;
            told = true; // IN_Q_OVERFLOW too: events were lost, so anything may have changed
        }
    }
    if (told)
        emit changed();
}
