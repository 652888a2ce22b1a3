// Application-wide set-up, the data folder of a copy started from the menu, and one copy per data folder.
#include "app/app.h"

#include "widgets/dialogs.h"
#include "window/messages.h"

#include "records/posix_io.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

void SetUpApplication(QApplication& app) {
    app.setApplicationName(u"tsumotto"_s);
    app.setApplicationDisplayName(QString());
    app.setDesktopFileName(u"io.github.tsumotto.tsumotto"_s); // the installed desktop entry and its icon
    // Every caption is Japanese, so Qt's standard buttons are too, whatever the desktop's language.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), u"qtbase"_s, u"_"_s,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    // The windows name the Windows Japanese Gothic faces; IPA's faces stand in for them.
    QFont::insertSubstitutions(u"ＭＳ Ｐゴシック"_s, {u"IPAPGothic"_s, u"IPAexGothic"_s, u"Noto Sans CJK JP"_s});
    QFont::insertSubstitutions(u"ＭＳ ゴシック"_s, {u"IPAGothic"_s, u"Noto Sans Mono CJK JP"_s});
}

namespace {

using records::FdCloser;
using std::chrono::milliseconds;

// What a running copy sends once it has brought its window forward; anything else is no answer.
constexpr std::string_view kShownAnswer = "tsumotto: window shown\n";
// Connections a running copy takes per turn of its event loop: more wait for the next turn, after the
// window's own events.
constexpr std::size_t kRequestsPerTurn = 16;

// Where another copy in the same folder finds this one: a socket named for the user and the folder, in the
// user's own runtime folder, or else in the abstract namespace, where no file is left behind. Any local user
// can bind an abstract name first; the folder's device and inode in the name keep those who cannot look
// into the folder from working it out, and both ends check who is at the other end all the same.
sockaddr_un SocketAddress(socklen_t& length) {
    QByteArray folder = QDir::current().canonicalPath().toUtf8();
    struct stat here {};
    if (::stat(".", &here) == 0)
        folder.append('\0').append(QByteArray::number(quint64(here.st_dev)) + ':' +
                                   QByteArray::number(quint64(here.st_ino)));
    const QByteArray name = "tsumotto-" + QByteArray::number(getuid()) + "-" +
                            QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(32) + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Only a runtime folder of this user's own that nobody else may write in.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray path;
    struct stat status {};
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == getuid() && (status.st_mode & 077) == 0)
        path = runtime + '/' + name;
    if (!path.isEmpty() && path.size() < qsizetype(sizeof address.sun_path)) {
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    } else {
        std::memcpy(address.sun_path + 1, name.constData(), static_cast<std::size_t>(name.size()));
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    }
    return address;
}

// Removes the socket file a copy of this user's listened on, and nothing else that may stand at that path.
void RemoveOwnSocketFile(const sockaddr_un& address) {
    struct stat st {};
    if (address.sun_path[0] != '\0' && ::lstat(address.sun_path, &st) == 0 && S_ISSOCK(st.st_mode) &&
        st.st_uid == ::getuid())
        ::unlink(address.sun_path);
}

int Listen(const sockaddr_un& address, socklen_t length) {
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (server < 0)
        return -1;
    // Only the holder of the folder's lock listens, so a socket file left by a copy that died is stale.
    RemoveOwnSocketFile(address);
    if (::bind(server, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(server, 16) != 0) {
        ::close(server);
        return -1;
    }
    return server;
}

void BringForward(QWidget* window) {
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<milliseconds::rep>(left.count(), 0, 60000));
}

} // namespace

FolderLock::~FolderLock() {
    if (m_fd >= 0)
        ::close(m_fd); // the kernel lets the lock go with the last descriptor
}

FolderLock::Result FolderLock::take() {
    if (m_fd >= 0)
        return Result::Taken;
    const int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        m_error = errno;
        return Result::Failed;
    }
    if (flock(folder, LOCK_EX | LOCK_NB) == 0) {
        m_fd = folder;
        return Result::Taken;
    }
    const int error = errno;
    ::close(folder);
    if (error == EWOULDBLOCK)
        return Result::Busy;
    // The folder cannot be locked itself: lock a file in it, with a lock that also goes with the process.
    const QByteArray name = QFile::encodeName(kFolderLockName);
    const int file = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (file < 0) {
        m_error = errno;
        return Result::Failed;
    }
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    if (fcntl(file, F_OFD_SETLK, &range) == 0) {
        m_fd = file;
        return Result::Taken;
    }
    const int fileError = errno;
    ::close(file);
    if (fileError == EAGAIN || fileError == EACCES)
        return Result::Busy;
    m_error = fileError;
    return Result::Failed;
}

milliseconds AnswerWait() {
    bool ok = false;
    const int wait = qEnvironmentVariableIntValue("TSUMOTTO_ANSWER_WAIT_MS", &ok);
    return ok && wait > 0 && wait <= 10000 ? milliseconds(wait) : milliseconds(2000);
}

LockOutcome LockDataFolder(FolderLock& lock, Dialogs& dialogs, milliseconds answerWait) {
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    messages::Message message;
    switch (lock.take()) {
    case FolderLock::Result::Taken:
        return LockOutcome::Run;
    case FolderLock::Result::Busy:
        switch (AskRunningCopyToShowItself(answerWait)) {
        case ShowAnswer::Shown:
            return LockOutcome::OtherCopyShown;
        case ShowAnswer::NoAnswer:
            message = messages::FolderInUse(folder, messages::Holder::SilentCopy);
            break;
        case ShowAnswer::Unreachable:
            // Whoever holds the lock did not say who it is: another program may lock the folder too.
            message = messages::FolderInUse(folder, messages::Holder::Unknown);
            break;
        }
        break;
    case FolderLock::Result::Failed:
        message = messages::FolderNotLockable(folder, messages::SystemErrorReason(lock.error()));
        break;
    }
    messages::Show(dialogs, nullptr, message);
    return LockOutcome::Refused;
}

bool PeerIsUser(int socket, uid_t user) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer && peer.uid == user;
}

int ListenForShowRequests() {
    socklen_t length = 0;
    const sockaddr_un address = SocketAddress(length);
    return Listen(address, length);
}

void ShowWindowWhenAsked(QWidget* window, uid_t user) {
    socklen_t length = 0;
    const sockaddr_un address = SocketAddress(length);
    const int server = Listen(address, length);
    if (server < 0)
        return; // a later copy then tells its user instead
    auto* notifier = new QSocketNotifier(server, QSocketNotifier::Read, window);
    QObject::connect(notifier, &QObject::destroyed, [server, address] {
        ::close(server);
        RemoveOwnSocketFile(address);
    });
    QObject::connect(notifier, &QSocketNotifier::activated, window, [server, window, user] {
        // The connection is the request: nothing is read from it, so nothing here can wait on the asker.
        std::array<int, kRequestsPerTurn> asking{};
        std::size_t count = 0;
        for (std::size_t taken = 0; taken < kRequestsPerTurn; ++taken) {
            const int peer = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (peer < 0)
                break;
            if (PeerIsUser(peer, user))
                asking[count++] = peer;
            else
                ::close(peer); // another user's: not even an answer
        }
        if (count == 0)
            return;
        BringForward(window);
        // Said only now that the window has been brought forward. A fresh connection's buffer takes the few
        // bytes at once; an asker that has given up and gone costs an error, not a signal.
        for (std::size_t i = 0; i < count; ++i) {
            (void)!::send(asking[i], kShownAnswer.data(), kShownAnswer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            ::close(asking[i]);
        }
    });
}

ShowAnswer AskRunningCopyToShowItself(milliseconds wait, uid_t user) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    socklen_t length = 0;
    const sockaddr_un address = SocketAddress(length);
    FdCloser client{-1};
    while (true) {
        client.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (client.fd < 0)
            return ShowAnswer::Unreachable;
        if (::connect(client.fd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
            break;
        const int error = errno;
        ::close(client.fd);
        client.fd = -1;
        // Refused or missing: nobody listens under the name. Anything but a full queue is as final.
        if (error != EAGAIN)
            return ShowAnswer::Unreachable;
        // The listener's queue is full, as when it has stopped taking requests: try again until the time is up.
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return ShowAnswer::Unreachable;
        ::poll(nullptr, 0, std::min(left, 20));
    }
    // A name another user has taken first is no copy of this user's.
    if (!PeerIsUser(client.fd, user))
        return ShowAnswer::Unreachable;
    std::array<char, kShownAnswer.size() + 1> answer{};
    std::size_t got = 0;
    while (got < answer.size()) {
        pollfd ready{client.fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, MillisecondsLeft(deadline));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        const ssize_t n = ::recv(client.fd, answer.data() + got, answer.size() - got, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return std::string_view(answer.data(), got) == kShownAnswer ? ShowAnswer::Shown : ShowAnswer::NoAnswer;
}

QString UserDataFolder(QString& problem) {
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    QByteArray base;
    // A relative XDG_DATA_HOME is to be ignored (XDG base directory rules), not taken as a folder in
    // whatever directory the program starts in, as Qt 6.4's QStandardPaths does.
    if (dataHome.startsWith('/')) {
        base = dataHome;
    } else {
        QByteArray home = qgetenv("HOME");
        while (home.size() > 1 && home.endsWith('/'))
            home.chop(1);
        // Qt takes an unset HOME as the root directory; data in /.local/share would be nobody's.
        if (!home.startsWith('/') || home == "/") {
            problem = messages::NoHomeFolder();
            return QString();
        }
        base = home + "/.local/share";
    }
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return QFile::decodeName(base == "/" ? QByteArray("/tsumotto") : base + "/tsumotto");
}

bool EnterUserDataFolder(Dialogs& dialogs) {
    QString problem;
    const QString folder = UserDataFolder(problem);
    if (folder.isEmpty()) {
        messages::Show(dialogs, nullptr, messages::DataFolderUnknown(problem));
        return false;
    }
    const QByteArray path = QFile::encodeName(folder);
    // mkdir -p: each missing folder on the way is made, private to the user as the XDG rules ask.
    for (qsizetype end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/')
            continue;
        const QByteArray step = path.left(end);
        if (step.endsWith('/'))
            continue;
        struct stat status {};
        if (::stat(step.constData(), &status) == 0) {
            if (S_ISDIR(status.st_mode))
                continue;
            problem = messages::NotAFolder(QFile::decodeName(step));
            break;
        }
        int error = errno;
        if (error == ENOENT)
            error = ::mkdir(step.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
        if (error != 0) {
            problem = messages::StepFailed(QFile::decodeName(step), messages::SystemErrorReason(error));
            break;
        }
    }
    if (problem.isEmpty() && ::chdir(path.constData()) != 0) {
        const int error = errno;
        problem = messages::SystemErrorReason(error);
    }
    if (problem.isEmpty())
        return true;
    messages::Show(dialogs, nullptr, messages::DataFolderUnusable(folder, problem));
    return false;
}
