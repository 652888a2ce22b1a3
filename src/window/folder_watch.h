// A watch on the data folder, so that the window can show what other programs (a sync tool, a file manager
// putting a file back from the trash, an editor) make of its files while it runs.
#pragma once

#include <QObject>

#include <string>
#include <vector>

class QSocketNotifier;

// Tells, once for each batch of events, that something in the current directory may have changed: an entry
// made, removed, renamed over or touched, a file written and closed. inotify is used directly rather than
// QFileSystemWatcher for two reasons: it reports a file written in place when its writer closes it, so the window
// does not read a file half written, where QFileSystemWatcher reports every write; and one watch on the folder
// sees a data file under any spelling of its name and across renames, with nothing to add again after a sync
// tool renamed a new file over the old one. Each data file itself is watched as well, for writes through
// another name (a link) that the folder does not see.
class FolderWatch final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderWatch)

public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // Watches the current directory. False when the system gives no watch (too many in use): then nothing is
    // told, and the window learns of changes only when it checks a file before writing it.
    bool start();
    // Watches these files (entries of the current directory, or where they lead) as well, and no others.
    void watchFiles(const std::vector<std::string>& paths);

signals:
    void changed();

private:
    void readEvents();

    int m_fd = -1;
    int m_folder = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<int> m_files;
};
