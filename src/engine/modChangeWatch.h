#pragma once

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
// marker of a second start. A save ends with the file closed after writing, renamed into place,
// or with the attribute change that follows them; it counts once no further change has come for
// quietTime, so a file still being written is not copied half-way. A folder that is missing (a
// stick not plugged in) is watched through the nearest folder above it that exists, and through
// the list of mounted file systems, so that its tasks are checked as soon as it comes. Nothing is
// looked at on the way from an event to the check: the check looks at the files off the window's
// thread.
class ChangeWatch : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 quietTime = 100;
    // A due task whose source keeps changing is copied as it stands once it has waited this long.
    static constexpr qint64 busyWaitLimit = 30000;

    explicit ChangeWatch(std::function<void()> check, QObject* parent = nullptr);
    ~ChangeWatch() override;
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches the folders of the sources from now on, and the folders of the destinations while
    // they are missing; costs no system calls when they are the ones already followed.
    void follow(const QStringList& sources, const QStringList& destinations = {});
    // Looks at every followed folder again once the events in hand are taken in: a folder
    // deleted since the last look, rather than unmounted, is watched for from then on.
    void rewatch();
    // Tells whether the volume holding a path answers: the folders of one that does not are left
    // watched as they were, since any look at them would hold the window until it answers.
    void setAnswering(std::function<bool(const QString& path)> answering);
    // Folders watched right now, the ones standing in for missing folders included.
    int watchCount() const { return static_cast<int>(m_watchOfFolder.size()); }

protected:
    // What a change of a watched file says of the save under way.
    enum class Change { writing, ended, gone };

    // Milliseconds on a clock that only goes forward.
    virtual qint64 now() const;
    // Watches the folder: the watch's number, or -1 with errno set.
    virtual int addWatch(const QString& path);
    // Takes in the changes the system has told of since the last call.
    void readEvents();
    // Starts the check for the saves that have ended, and waits for the next one to end.
    void judge();

private:
    // A changed file: when it last changed and whether that change ends a save, since when it
    // has been changing, and when a file that keeps changing has its tasks checked next.
    struct Pending {
        qint64 lastChange = 0;
        bool ended = false;
        qint64 changingSince = 0;
        qint64 nextBusyCheck = 0;
    };
    // The watches one look at the followed folders asks for.
    struct Placing {
        QHash<QString, int> watches;
        QHash<QString, int> unwatchable; // folder, error number
    };

    void placeWatches();
    bool place(const QString& folder, bool watchItself, Placing& placing);
    void removeWatch(const QString& path, int watch);
    void retry();
    void sayUnwatchable(const QHash<QString, int>& unwatchable);
    void changed(const QString& folder, const QString& name, Change change);
    void changedFolder(const QString& folder, Change change);
    qint64 nextJudgement() const;
    void waitForJudgement();

    std::function<void()> m_check;
    std::function<bool(const QString& path)> m_answering;
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
    QHash<QString, Pending> m_pending;
    bool m_due = false;
    qint64 m_lastCheck = -quietTime;
    QTimer* m_judge;
    QTimer* m_retry;
    QTimer* m_rewatchSoon;
    int m_inotify = -1;
    int m_mounts = -1;
    QSocketNotifier* m_notifier = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    int m_lastWatch = 0;
};
