#include "modFileLooks.h"

#include "modFileVersionInfo.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

qint64 steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

PathFacts lookAtPath(const PathLook& wanted) {
    PathFacts facts;
    facts.look = lookAt(wanted.path);
    if (wanted.withVersion && facts.look.kind == FileKind::regular)
        facts.version = getFileVersion(wanted.path);
    return facts;
}

// One volume's thread and the looks queued for it. Shared with the thread, which may outlive
// the looks' owner while it hangs in a call that never returns.
struct FileLooks::Lane {
    struct Job {
        quint64 id = 0;
        std::vector<PathLook> paths;
    };

    std::mutex lock;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;
    std::atomic<qint64> busySince{0};
    std::thread thread;
    // Read and written on the owner's thread only.
    QPointer<FileLooks> owner;
    QString volume;
    LookFunction look;

    static void run(const std::shared_ptr<Lane>& lane) {
        for (;;) {
            Job job;
            {
                std::unique_lock held(lane->lock);
                lane->wake.wait(held, [&] { return lane->stopping || !lane->jobs.empty(); });
                if (lane->stopping)
                    return;
                job = std::move(lane->jobs.front());
                lane->jobs.pop_front();
            }
            lane->busySince = steadyMs();
            std::vector<PathFacts> facts;
            facts.reserve(job.paths.size());
            for (const PathLook& path : job.paths)
                facts.push_back(lane->look(path));
            lane->busySince = 0;
            QCoreApplication* app = QCoreApplication::instance();
            if (!app)
                return;
            QMetaObject::invokeMethod(
                app,
                [lane, id = job.id, facts = std::move(facts)]() mutable {
                    if (lane->owner)
                        lane->owner->delivered(lane->volume, id, std::move(facts));
                },
                Qt::QueuedConnection);
        }
    }
};

FileLooks::FileLooks(LookFunction look, QObject* parent)
    : QObject(parent), m_look(std::move(look)) {
    m_watchdog.setInterval(hangAfter / 3);
    connect(&m_watchdog, &QTimer::timeout, this, &FileLooks::watchLanes);
}

FileLooks::~FileLooks() {
    for (Road& road : m_roads) {
        Lane& lane = *road.lane;
        {
            const std::scoped_lock held(lane.lock);
            lane.stopping = true;
            lane.jobs.clear();
        }
        lane.wake.notify_all();
        // A thread caught in a call on a hung volume is left to end with the process.
        if (lane.busySince != 0)
            lane.thread.detach();
        else
            lane.thread.join();
    }
}

void FileLooks::look(const QString& volume, std::vector<PathLook> paths, Done done) {
    Road& road = m_roads[volume];
    if (road.hung) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    if (!road.lane) {
        road.lane = std::make_shared<Lane>();
        road.lane->owner = this;
        road.lane->volume = volume;
        road.lane->look = m_look;
        road.lane->thread = std::thread([lane = road.lane] { Lane::run(lane); });
    }
    const quint64 id = ++m_lastJob;
    road.waiting.push_back({id, std::move(done)});
    {
        const std::scoped_lock held(road.lane->lock);
        road.lane->jobs.push_back({id, std::move(paths)});
    }
    road.lane->wake.notify_one();
    if (!m_watchdog.isActive())
        m_watchdog.start();
}

bool FileLooks::answering(const QString& volume) const {
    const auto road = m_roads.constFind(volume);
    return road == m_roads.cend() || !road->hung;
}

bool FileLooks::allAnswering() const {
    return std::none_of(m_roads.cbegin(), m_roads.cend(),
                        [](const Road& road) { return road.hung; });
}

void FileLooks::delivered(const QString& volume, quint64 job, std::vector<PathFacts> facts) {
    Road& road = m_roads[volume];
    if (road.hung) {
        road.hung = false;
        emit answersAgain(volume);
    }
    for (auto waiting = road.waiting.begin(); waiting != road.waiting.end(); ++waiting) {
        if (waiting->job == job) {
            const Done done = std::move(waiting->done);
            road.waiting.erase(waiting);
            done(std::move(facts));
            return;
        }
    }
}

// A volume whose look has hung too long is not answering: what waits for it goes on without it.
void FileLooks::watchLanes() {
    const qint64 now = steadyMs();
    bool busy = false;
    for (auto road = m_roads.begin(); road != m_roads.end(); ++road) {
        const qint64 since = road->lane->busySince;
        busy = busy || since != 0 || !road->waiting.empty();
        if (since != 0 && !road->hung && now - since >= hangAfter) {
            road->hung = true;
            failWaiting(*road);
            emit stoppedAnswering(road.key());
        }
    }
    if (!busy)
        m_watchdog.stop();
}

void FileLooks::failWaiting(Road& road) {
    {
        const std::scoped_lock held(road.lane->lock);
        road.lane->jobs.clear();
    }
    // Told from the event loop: what is told may look again, which changes the roads.
    for (Waiting& one : road.waiting)
        QMetaObject::invokeMethod(
            this, [done = std::move(one.done)] { done(std::nullopt); }, Qt::QueuedConnection);
    road.waiting.clear();
}
