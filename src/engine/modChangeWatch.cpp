#include "modChangeWatch.h"

#include "modPaths.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {

// How often a changed file is looked at while it settles.
constexpr int lookInterval = 250;
// How often folders that could not be watched (not there yet, or gone) are tried again.
constexpr int retryInterval = 2000;

#ifdef Q_OS_LINUX
// A folder watch sees files written in place, created, renamed over and deleted, and the
// folder itself going away; the folder stays watched whatever happens to the files in it.
constexpr uint32_t folderEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_MOVED_TO |
                                  IN_MOVED_FROM | IN_DELETE | IN_MOVE_SELF | IN_DELETE_SELF |
                                  IN_ONLYDIR;
#endif

} // namespace

ChangeWatch::ChangeWatch(std::function<void()> check, QObject* parent)
    : QObject(parent), m_check(std::move(check)), m_settle(new QTimer(this)),
      m_retry(new QTimer(this)) {
    const QString marker = applicationFile(QStringLiteral("notify.dat"));
    m_markerFolder = folderPart(marker);
    m_markerName = fileNamePart(marker);
    m_settle->setInterval(lookInterval);
    connect(m_settle, &QTimer::timeout, this, &ChangeWatch::lookAgain);
    m_retry->setInterval(retryInterval);
    connect(m_retry, &QTimer::timeout, this, &ChangeWatch::armMissing);
#ifdef Q_OS_LINUX
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0) {
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ChangeWatch::readEvents);
    }
#else
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &ChangeWatch::changedFolder);
#endif
    follow({});
}

ChangeWatch::~ChangeWatch() {
#ifdef Q_OS_LINUX
    if (m_inotify >= 0)
        close(m_inotify);
#endif
}

void ChangeWatch::follow(const QStringList& files) {
    if (files == m_files && !m_interest.isEmpty())
        return;
    m_files = files;
    QHash<QString, QSet<QString>> interest;
    interest[m_markerFolder].insert(m_markerName);
    for (const QString& file : files) {
        const QString folder = folderPart(file);
        if (!folder.isEmpty() && file.size() > folder.size())
            interest[folder].insert(file.mid(folder.size()));
    }
    if (interest == m_interest)
        return;
    for (auto watched = m_interest.cbegin(); watched != m_interest.cend(); ++watched) {
        if (!interest.contains(watched.key()))
            disarm(watched.key());
    }
    const QHash<QString, QSet<QString>> before = std::exchange(m_interest, interest);
    for (auto wanted = interest.cbegin(); wanted != interest.cend(); ++wanted) {
        if (!before.contains(wanted.key()))
            arm(wanted.key());
    }
}

void ChangeWatch::arm(const QString& folder) {
    int watch = -1;
#ifdef Q_OS_LINUX
    if (m_inotify >= 0)
        watch = inotify_add_watch(m_inotify, QFile::encodeName(folder).constData(), folderEvents);
#else
    // The watcher names the folder itself; its watches need no number.
    watch = m_watcher->addPath(folder) ? 0 : -1;
#endif
    if (watch < 0) {
        m_missing.insert(folder);
        m_retry->start();
        return;
    }
    m_missing.remove(folder);
    m_watchOfFolder.insert(folder, watch);
    m_folderOfWatch.insert(watch, folder);
}

void ChangeWatch::disarm(const QString& folder) {
    m_missing.remove(folder);
    if (!m_watchOfFolder.contains(folder))
        return;
    const int watch = m_watchOfFolder.take(folder);
    m_folderOfWatch.remove(watch);
#ifdef Q_OS_LINUX
    inotify_rm_watch(m_inotify, watch);
#else
    m_watcher->removePath(folder);
#endif
}

void ChangeWatch::armMissing() {
    const QSet<QString> missing = m_missing;
    for (const QString& folder : missing) {
        arm(folder);
        // Sources may have come with the folder.
        if (!m_missing.contains(folder))
            changedFolder(folder);
    }
    if (m_missing.isEmpty())
        m_retry->stop();
}

void ChangeWatch::changed(const QString& folder, const QString& name) {
    if (!m_interest.value(folder).contains(name))
        return;
    // A second start waits for the window: the marker needs no settling.
    if (folder == m_markerFolder && name == m_markerName) {
        if (QFileInfo::exists(folder + name))
            m_check();
        return;
    }
    // The first look records the file's size and time; it settles from there.
    if (!m_pending.contains(folder + name))
        m_pending.insert(folder + name, {});
    if (!m_settle->isActive())
        m_settle->start();
}

// Without the names of the changed files, every watched file in the folder is looked at.
void ChangeWatch::changedFolder(const QString& folder) {
    for (const QString& name : m_interest.value(folder))
        changed(folder, name);
}

void ChangeWatch::lookAgain() {
    for (auto pending = m_pending.begin(); pending != m_pending.end();) {
        const QFileInfo info(pending.key());
        Look& look = pending.value();
        if (info.lastModified() != look.modified || info.size() != look.size) {
            look = {info.lastModified(), info.size(), {}};
            look.since.start();
            ++pending;
        } else if (look.since.hasExpired(settleTime)) {
            // A file that is gone leaves nothing to copy.
            m_due = m_due || info.exists();
            pending = m_pending.erase(pending);
        } else {
            ++pending;
        }
    }
    // At most one check per settle time, however many files settle.
    if (m_due && (!m_lastCheck.isValid() || m_lastCheck.hasExpired(settleTime))) {
        m_due = false;
        m_lastCheck.start();
        m_check();
    }
    if (m_pending.isEmpty() && !m_due)
        m_settle->stop();
}

void ChangeWatch::readEvents() {
#ifdef Q_OS_LINUX
    alignas(inotify_event) char buffer[16384];
    ssize_t length = 0;
    while ((length = read(m_inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Changes were lost: look at every watched file.
                for (auto folder = m_interest.cbegin(); folder != m_interest.cend(); ++folder)
                    changedFolder(folder.key());
                continue;
            }
            const QString folder = m_folderOfWatch.value(event->wd);
            if (folder.isEmpty())
                continue;
            if (event->mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED)) {
                // The watch follows the folder, not its path: watch the path anew.
                disarm(folder);
                arm(folder);
                continue;
            }
            if (event->len > 0)
                changed(folder, QFile::decodeName(event->name));
        }
    }
#endif
}
