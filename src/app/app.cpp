// Application-wide set-up, and one copy per data folder.
#include "app/app.h"

#include "widgets/dialogs.h"
#include "window/messages.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>
#include <QWidget>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
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

std::string Reason(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

// Where another copy in the same folder finds this one: a socket named for the user and the folder's real
// path, in the user's own runtime folder, or else in the abstract namespace, where no file is left behind.
sockaddr_un SocketAddress(socklen_t& length) {
    const QByteArray folder = QDir::current().canonicalPath().toUtf8();
    const QByteArray name = "tsumotto-" + QByteArray::number(getuid()) + "-" +
                            QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(20) + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray path;
    if (!runtime.isEmpty() && runtime.startsWith('/') && QFileInfo(QFile::decodeName(runtime)).isDir())
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
        m_reason = Reason(errno);
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
        m_reason = Reason(errno);
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
    m_reason = Reason(fileError);
    return Result::Failed;
}

LockOutcome LockDataFolder(FolderLock& lock, Dialogs& dialogs) {
    switch (lock.take()) {
    case FolderLock::Result::Taken:
        return LockOutcome::Run;
    case FolderLock::Result::Busy:
        if (AskRunningCopyToShowItself())
            return LockOutcome::OtherCopyShown;
        messages::Show(dialogs, nullptr, messages::FolderInUse());
        return LockOutcome::Refused;
    case FolderLock::Result::Failed:
        break;
    }
    messages::Show(dialogs, nullptr,
                   messages::FolderNotLockable(QDir::toNativeSeparators(QDir::currentPath()),
                                               QString::fromStdString(lock.reason())));
    return LockOutcome::Refused;
}

void ShowWindowWhenAsked(QWidget* window) {
    socklen_t length = 0;
    const sockaddr_un address = SocketAddress(length);
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (server < 0)
        return;
    // This copy holds the folder's lock, so a socket file left by a copy that died is stale.
    if (address.sun_path[0] != '\0')
        ::unlink(address.sun_path);
    if (::bind(server, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(server, 4) != 0) {
        ::close(server);
        return; // a later copy then tells its user instead
    }
    auto* notifier = new QSocketNotifier(server, QSocketNotifier::Read, window);
    QObject::connect(notifier, &QObject::destroyed, [server, address] {
        ::close(server);
        if (address.sun_path[0] != '\0')
            ::unlink(address.sun_path);
    });
    QObject::connect(notifier, &QSocketNotifier::activated, window, [server, window] {
        // The connection is the request: nothing is read from it.
        while (true) {
            const int peer = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer < 0)
                break;
            ::close(peer);
        }
        if (window->isMinimized())
            window->showNormal();
        window->raise();
        window->activateWindow();
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
    });
}

bool AskRunningCopyToShowItself() {
    socklen_t length = 0;
    const sockaddr_un address = SocketAddress(length);
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0)
        return false;
    const bool answered = ::connect(client, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(client);
    return answered;
}
