#include "modChangeWatch.h"

#include "modPaths.h"
#include "modTidewell.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {

// How often a changed file is looked at while it settles.
constexpr int lookInterval = 250;
// How long a file that keeps changing waits for each check after its first: more than its tasks
// wait for it, however late that first check came.
constexpr qint64 busyCheckEvery = ChangeWatch::busyWaitLimit + 1500;
// A folder that cannot be watched is tried again after a second, then less and less often.
constexpr int firstRetry = 1000;
constexpr int lastRetry = 256000;

#ifdef Q_OS_LINUX
// A folder watch sees files written in place, created, renamed over and deleted, and the
// folder itself going away; the folder stays watched whatever happens to the files in it.
constexpr uint32_t folderEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_MOVED_TO |
                                  IN_MOVED_FROM | IN_DELETE | IN_MOVE_SELF | IN_DELETE_SELF |
                                  IN_ONLYDIR;
#endif

// Set by tests: the error every watch fails with, and how many it refused.
int refusedWith = 0;
int refusedCount = 0;

// The folder above a folder (both end in a separator); empty above the root.
QString parentFolder(const QString& folder) {
    return folderPart(folder.chopped(1));
}

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

QString watchFault(int error) {
    if (error == ENOSPC)
        return QStringLiteral("the system's limit on watched folders is reached");
    if (error == EACCES || error == EPERM)
        return QStringLiteral("access is denied");
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ChangeWatch::ChangeWatch(std::function<void()> check, QObject* parent)
    : QObject(parent), m_check(std::move(check)), m_retryDelay(firstRetry),
      m_settle(new QTimer(this)), m_retry(new QTimer(this)) {
    const QString marker = applicationFile(QStringLiteral("notify.dat"));
    m_markerFolder = folderPart(marker);
    m_markerName = fileNamePart(marker);
    m_settle->setInterval(lookInterval);
    connect(m_settle, &QTimer::timeout, this, &ChangeWatch::lookAgain);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &ChangeWatch::retry);
#ifdef Q_OS_LINUX
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0) {
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ChangeWatch::readEvents);
    }
    // The list of mounted file systems signals every mount and unmount: a stick's folders come
    // with its mount, which a watch on the empty folder it is mounted on does not see.
    m_mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_mounts >= 0) {
        auto* mounts = new QSocketNotifier(m_mounts, QSocketNotifier::Exception, this);
        connect(mounts, &QSocketNotifier::activated, this, &ChangeWatch::rewatch);
    }
#else
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) {
        changedFolder(path);
        if (!m_missing.isEmpty())
            rewatch();
    });
#endif
    follow({});
}

ChangeWatch::~ChangeWatch() {
#ifdef Q_OS_LINUX
    if (m_inotify >= 0)
        close(m_inotify);
    if (m_mounts >= 0)
        close(m_mounts);
#endif
}

int ChangeWatch::refuseWatches(int errorNumber) {
    refusedWith = errorNumber;
    return std::exchange(refusedCount, 0);
}

void ChangeWatch::follow(const QStringList& sources, const QStringList& destinations) {
    if (sources == m_sources && destinations == m_destinations && !m_interest.isEmpty())
        return;
    m_sources = sources;
    m_destinations = destinations;
    QHash<QString, QSet<QString>> interest;
    interest[m_markerFolder].insert(m_markerName);
    for (const QString& file : sources) {
        const QString folder = folderPart(file);
        if (!folder.isEmpty() && file.size() > folder.size())
            interest[folder].insert(file.mid(folder.size()));
    }
    QSet<QString> destinationFolders;
    for (const QString& file : destinations) {
        if (const QString folder = folderPart(file); !folder.isEmpty())
            destinationFolders.insert(folder);
    }
    if (interest == m_interest && destinationFolders == m_destinationFolders)
        return;
    m_interest = interest;
    m_destinationFolders = destinationFolders;
    rewatch();
}

// Watches the folder (unless only its coming matters) or, while it is missing, the nearest
// folder above it that exists. Whether the folder is there.
bool ChangeWatch::place(const QString& folder, bool watchItself, Placing& placing) {
    QString path = folder;
    if (!watchItself) {
        if (QFileInfo(folder).isDir())
            return true;
        path = parentFolder(folder);
    }
    for (; !path.isEmpty(); path = parentFolder(path)) {
        const int watch = placing.watches.contains(path) ? placing.watches[path] : addWatch(path);
        if (watch >= 0) {
            placing.watches.insert(path, watch);
            return path == folder;
        }
        if (!isMissing(errno)) {
            placing.unwatchable.insert(folder, errno);
            return path == folder;
        }
    }
    return false;
}

// The watch's number, or -1 with errno set.
int ChangeWatch::addWatch(const QString& path) {
    if (refusedWith != 0 && QFileInfo(path).isDir()) {
        ++refusedCount;
        errno = refusedWith;
        return -1;
    }
#ifdef Q_OS_LINUX
    if (m_inotify < 0) {
        errno = ENOSYS;
        return -1;
    }
    // Asked again for a folder already watched, inotify gives its number again; a folder
    // mounted over since gets a watch of its own.
    return inotify_add_watch(m_inotify, QFile::encodeName(path).constData(), folderEvents);
#else
    if (const auto known = m_watchOfFolder.constFind(path); known != m_watchOfFolder.cend())
        return *known;
    if (!m_watcher->addPath(path)) {
        errno = QFileInfo(path).isDir() ? EACCES : ENOENT;
        return -1;
    }
    return ++m_lastWatch;
#endif
}

void ChangeWatch::removeWatch(const QString& path, int watch) {
#ifdef Q_OS_LINUX
    Q_UNUSED(path);
    inotify_rm_watch(m_inotify, watch);
#else
    Q_UNUSED(watch);
    m_watcher->removePath(path);
#endif
}

// Looks at every followed folder again: watches what is there, stands in for what is missing,
// lets go of the rest, and has the tasks of a folder that has come checked.
void ChangeWatch::rewatch() {
    Placing placing;
    QSet<QString> missing;
    for (auto folder = m_interest.cbegin(); folder != m_interest.cend(); ++folder) {
        if (!place(folder.key(), true, placing))
            missing.insert(folder.key());
    }
    for (const QString& folder : std::as_const(m_destinationFolders)) {
        if (!place(folder, false, placing))
            missing.insert(folder);
    }
    const QList<int> kept = placing.watches.values();
    for (auto watched = m_watchOfFolder.cbegin(); watched != m_watchOfFolder.cend(); ++watched) {
        if (!kept.contains(watched.value()))
            removeWatch(watched.key(), watched.value());
    }
    m_watchOfFolder = placing.watches;
    m_folderOfWatch.clear();
    for (auto watched = m_watchOfFolder.cbegin(); watched != m_watchOfFolder.cend(); ++watched)
        m_folderOfWatch.insert(watched.value(), watched.key());
    sayUnwatchable(placing.unwatchable);
    const QSet<QString> come = std::exchange(m_missing, missing) - missing;
    for (const QString& folder : come) {
        // Sources may have come with the folder; a destination's folder is ready at once.
        if (m_interest.contains(folder))
            changedFolder(folder);
        if (m_destinationFolders.contains(folder)) {
            m_due = true;
            m_settle->start();
        }
    }
}

void ChangeWatch::retry() {
    m_retryDelay = std::min(2 * m_retryDelay, lastRetry);
    rewatch();
}

// Each folder that cannot be watched is said once, for as long as it cannot; the check every
// ten seconds looks at its tasks meanwhile.
void ChangeWatch::sayUnwatchable(const QHash<QString, int>& unwatchable) {
    QStringList folders = unwatchable.keys();
    folders.sort(); // in the order of their paths, however many there are
    for (const QString& folder : std::as_const(folders)) {
        if (!m_said.contains(folder))
            logAction(QStringLiteral("Changes in the folder %1 cannot be watched (%2); the check "
                                     "every 10 seconds looks after its tasks instead.")
                          .arg(QDir::toNativeSeparators(folder), watchFault(unwatchable[folder])));
    }
    m_said = QSet<QString>(folders.cbegin(), folders.cend());
    if (m_said.isEmpty()) {
        m_retry->stop();
        m_retryDelay = firstRetry;
    } else if (!m_retry->isActive()) {
        m_retry->start(m_retryDelay);
    }
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
        m_pending.insert(folder + name, {})->changing.start();
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
            look.modified = info.lastModified();
            look.size = info.size();
            look.since.start();
        } else if (look.since.hasExpired(settleTime)) {
            // A file that is gone leaves nothing to copy.
            m_due = m_due || info.exists();
            pending = m_pending.erase(pending);
            continue;
        }
        // A file that does not settle has its tasks checked all the same: their wait for it
        // starts, and once it has run out they copy the file as it stands.
        if (look.changing.hasExpired(look.nextBusyCheck)) {
            look.nextBusyCheck += busyCheckEvery;
            m_due = true;
        }
        ++pending;
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
    bool again = false;
    while ((length = read(m_inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Changes were lost: look at every watched file.
                for (auto folder = m_interest.cbegin(); folder != m_interest.cend(); ++folder)
                    changedFolder(folder.key());
                again = true;
                continue;
            }
            const QString folder = m_folderOfWatch.value(event->wd);
            if (folder.isEmpty())
                continue;
            // The watch follows the folder, not its path: the path is watched anew. A folder made
            // may be one that is missing, or a step on its way.
            if (event->mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                again = true;
                continue;
            }
            again = again || ((event->mask & IN_ISDIR) && !m_missing.isEmpty());
            if (event->len > 0)
                changed(folder, QFile::decodeName(event->name));
        }
    }
    if (again)
        rewatch();
#endif
}
