#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

// Runs the check as soon as a task's source has been saved, instead of waiting for the next
// tick: one watch per folder that holds a source, and one on the application folder for the
// marker of a second start. A changed source counts once its size and time have stayed the
// same for settleTime, so a file still being written is not copied half-way. A folder that is
// missing (a stick not plugged in) is watched through the nearest folder above it that exists,
// and through the list of mounted file systems, so that its tasks are checked as soon as it comes.
class ChangeWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int settleTime = 1000;
    // A due task whose source keeps changing is copied as it stands once it has waited this long.
    static constexpr qint64 busyWaitLimit = 30000;

    explicit ChangeWatch(std::function<void()> check, QObject* parent = nullptr);
    ~ChangeWatch() override;
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches the folders of the sources from now on, and the folders of the destinations while
    // they are missing; costs no system calls when they are the ones already followed.
    void follow(const QStringList& sources, const QStringList& destinations = {});
    // Looks at every followed folder again: a folder deleted since the last look, rather than
    // unmounted, is watched for from now on.
    void rewatch();
    // Folders watched right now, the ones standing in for missing folders included.
    int watchCount() const { return static_cast<int>(m_watchOfFolder.size()); }
    // For tests: from now on every watch fails with this error number, or none when it is 0.
    // Returns how many watches were refused since the previous call.
    static int refuseWatches(int errorNumber);

private:
    // A changed file's size and time, since when they have stayed so, and since when the file
    // has been changing.
    struct Look {
        QDateTime modified;
        qint64 size = -1;
        QElapsedTimer since;
        QElapsedTimer changing;
        // A file that keeps changing is first checked after twice the settle time.
        qint64 nextBusyCheck = 2 * settleTime;
    };
    // The watches one look at the followed folders asks for.
    struct Placing {
        QHash<QString, int> watches;
        QHash<QString, int> unwatchable; // folder, error number
    };

    bool place(const QString& folder, bool watchItself, Placing& placing);
    int addWatch(const QString& path);
    void removeWatch(const QString& path, int watch);
    void retry();
    void sayUnwatchable(const QHash<QString, int>& unwatchable);
    void changed(const QString& folder, const QString& name);
    void changedFolder(const QString& folder);
    void lookAgain();
    void readEvents();

    std::function<void()> m_check;
    QString m_markerFolder;
    QString m_markerName;
    QStringList m_sources;
    QStringList m_destinations;
    // The file names that matter, by folder (ending in its separator).
    QHash<QString, QSet<QString>> m_interest;
    // Folders whose coming matters, not their files.
    QSet<QString> m_destinationFolders;
    QHash<QString, int> m_watchOfFolder;
    QHash<int, QString> m_folderOfWatch;
    QSet<QString> m_missing;
    // Folders that could not be watched, already said in the log.
    QSet<QString> m_said;
    int m_retryDelay;
    QHash<QString, Look> m_pending;
    bool m_due = false;
    QElapsedTimer m_lastCheck;
    QTimer* m_settle;
    QTimer* m_retry;
    int m_inotify = -1;
    int m_mounts = -1;
    QSocketNotifier* m_notifier = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    int m_lastWatch = 0;
};
