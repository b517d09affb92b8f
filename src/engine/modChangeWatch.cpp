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
#include <chrono>
#include <cstring>
#include <limits>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {

// A file written to and not closed yet has its tasks checked after a second without changes.
constexpr qint64 writeWait = 1000;
// A file that keeps changing has its tasks checked after two seconds all the same.
constexpr qint64 firstBusyCheck = 2 * writeWait;
// How long a file that keeps changing waits for each check after its first: more than its tasks
// wait for it, however late that first check came.
constexpr qint64 busyCheckEvery = ChangeWatch::busyWaitLimit + 1500;
// A folder that cannot be watched is tried again after a second, then less and less often.
constexpr int firstRetry = 1000;
constexpr int lastRetry = 256000;

#ifdef Q_OS_LINUX
// A folder watch sees files written in place, closed, created, renamed over and deleted, their
// attributes set, and the folder itself going away; the folder stays watched whatever happens to
// the files in it.
constexpr uint32_t folderEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_MOVED_TO |
                                  IN_MOVED_FROM | IN_DELETE | IN_MOVE_SELF | IN_DELETE_SELF |
                                  IN_ONLYDIR;
#endif

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
      m_judge(new QTimer(this)), m_retry(new QTimer(this)), m_rewatchSoon(new QTimer(this)) {
    const QString marker = applicationFile(QStringLiteral("notify.dat"));
    m_markerFolder = folderPart(marker);
    m_markerName = fileNamePart(marker);
    m_judge->setSingleShot(true);
    m_judge->setTimerType(Qt::PreciseTimer);
    connect(m_judge, &QTimer::timeout, this, &ChangeWatch::judge);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &ChangeWatch::retry);
    // Folders are looked at once the events that asked for it have all been taken in.
    m_rewatchSoon->setSingleShot(true);
    connect(m_rewatchSoon, &QTimer::timeout, this, &ChangeWatch::placeWatches);
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
        changedFolder(path, Change::ended);
        waitForJudgement();
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

qint64 ChangeWatch::now() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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
    placeWatches();
}

void ChangeWatch::rewatch() {
    m_rewatchSoon->start(0);
}

void ChangeWatch::setAnswering(std::function<bool(const QString& path)> answering) {
    m_answering = std::move(answering);
}

// Watches the folder (unless only its coming matters) or, while it is missing, the nearest
// folder above it that exists. Whether the folder is there.
bool ChangeWatch::place(const QString& folder, bool watchItself, Placing& placing) {
    if (m_answering && !m_answering(folder)) {
        if (const auto kept = m_watchOfFolder.constFind(folder); kept != m_watchOfFolder.cend())
            placing.watches.insert(folder, *kept);
        return !m_missing.contains(folder);
    }
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

int ChangeWatch::addWatch(const QString& path) {
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
// lets go of the rest, and has the tasks of a folder that has come checked. Each followed
// folder, and for a missing one each folder above it, is looked at once.
void ChangeWatch::placeWatches() {
    m_rewatchSoon->stop();
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
        // Sources that came with their folder are there as they are; a destination's folder is
        // ready at once.
        if (m_interest.contains(folder))
            changedFolder(folder, Change::ended);
        m_due = m_due || m_destinationFolders.contains(folder);
    }
    waitForJudgement();
}

void ChangeWatch::retry() {
    m_retryDelay = std::min(2 * m_retryDelay, lastRetry);
    placeWatches();
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

void ChangeWatch::changed(const QString& folder, const QString& name, Change change) {
    const auto names = m_interest.constFind(folder);
    if (names == m_interest.cend() || !names->contains(name))
        return;
    // A second start waits for the window: the marker needs no quiet time.
    if (folder == m_markerFolder && name == m_markerName) {
        if (change == Change::ended)
            m_check();
        return;
    }
    const QString path = folder + name;
    // A file renamed away or deleted leaves nothing to copy; one made in its place is new.
    if (change == Change::gone) {
        m_pending.remove(path);
        return;
    }
    const qint64 at = now();
    auto pending = m_pending.find(path);
    if (pending == m_pending.end())
        pending = m_pending.insert(path, {at, false, at, firstBusyCheck});
    pending->lastChange = at;
    pending->ended = change == Change::ended;
}

// Without the names of the changed files, every watched file in the folder counts as changed.
void ChangeWatch::changedFolder(const QString& folder, Change change) {
    for (const QString& name : m_interest.value(folder))
        changed(folder, name, change);
}

// When the next save ends or the next check is due, if nothing changes meanwhile.
qint64 ChangeWatch::nextJudgement() const {
    qint64 next = m_due ? m_lastCheck + quietTime : std::numeric_limits<qint64>::max();
    for (const Pending& pending : m_pending) {
        const qint64 quiet = pending.lastChange + (pending.ended ? quietTime : writeWait);
        next = std::min({next, quiet, pending.changingSince + pending.nextBusyCheck});
    }
    return next;
}

void ChangeWatch::waitForJudgement() {
    if (m_pending.isEmpty() && !m_due) {
        m_judge->stop();
        return;
    }
    const qint64 wait = std::clamp<qint64>(nextJudgement() - now(), 0, busyCheckEvery);
    m_judge->start(static_cast<int>(wait));
}

void ChangeWatch::judge() {
    const qint64 at = now();
    for (auto pending = m_pending.begin(); pending != m_pending.end();) {
        if (at - pending->lastChange >= (pending->ended ? quietTime : writeWait)) {
            m_due = true;
            pending = m_pending.erase(pending);
            continue;
        }
        // A file that keeps changing has its tasks checked all the same: their wait for it
        // starts, and once it has run out they copy the file as it stands.
        if (at - pending->changingSince >= pending->nextBusyCheck) {
            pending->nextBusyCheck += busyCheckEvery;
            m_due = true;
        }
        ++pending;
    }
    // At most one check per quiet time, however many saves end.
    if (m_due && at - m_lastCheck >= quietTime) {
        m_due = false;
        m_lastCheck = at;
        m_check();
    }
    waitForJudgement();
}

void ChangeWatch::readEvents() {
#ifdef Q_OS_LINUX
    // A save ends with the close after writing, the rename into place, or the attribute change
    // that follows them.
    const auto changeOf = [](uint32_t mask) {
        if (mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB))
            return Change::ended;
        return mask & (IN_MOVED_FROM | IN_DELETE) ? Change::gone : Change::writing;
    };
    alignas(inotify_event) char buffer[16384];
    ssize_t length = 0;
    bool again = false;
    while ((length = read(m_inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Changes were lost: every watched file counts as saved.
                for (auto folder = m_interest.cbegin(); folder != m_interest.cend(); ++folder)
                    changedFolder(folder.key(), Change::ended);
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
                changed(folder, QFile::decodeName(event->name), changeOf(event->mask));
        }
    }
    if (again)
        rewatch();
    waitForJudgement();
#endif
}
