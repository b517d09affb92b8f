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
// same for settleTime, so a file still being written is not copied half-way.
class ChangeWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int settleTime = 1000;

    explicit ChangeWatch(std::function<void()> check, QObject* parent = nullptr);
    ~ChangeWatch() override;
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches the folders of these files from now on; costs no system calls when they are the
    // ones already watched.
    void follow(const QStringList& files);
    // Folders watched right now.
    int watchCount() const { return static_cast<int>(m_watchOfFolder.size()); }

private:
    // A changed file's size and time, and since when they have stayed so.
    struct Look {
        QDateTime modified;
        qint64 size = -1;
        QElapsedTimer since;
    };

    void arm(const QString& folder);
    void disarm(const QString& folder);
    void armMissing();
    void changed(const QString& folder, const QString& name);
    void changedFolder(const QString& folder);
    void lookAgain();
    void readEvents();

    std::function<void()> m_check;
    QString m_markerFolder;
    QString m_markerName;
    QStringList m_files;
    // The file names that matter, by folder (ending in its separator).
    QHash<QString, QSet<QString>> m_interest;
    QHash<QString, int> m_watchOfFolder;
    QHash<int, QString> m_folderOfWatch;
    QSet<QString> m_missing;
    QHash<QString, Look> m_pending;
    bool m_due = false;
    QElapsedTimer m_lastCheck;
    QTimer* m_settle;
    QTimer* m_retry;
    int m_inotify = -1;
    QSocketNotifier* m_notifier = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
};
