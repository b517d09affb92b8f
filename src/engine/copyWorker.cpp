// The copies' worker thread, and the hand-over of each copy's progress and end to the thread
// that started it.
#include "copyJob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#if defined(Q_OS_LINUX)
#include "temporaryFiles.h"
#endif

std::atomic<CopyFaults*> copyFaults = nullptr;

namespace {

std::atomic<bool> cancelled = false;
// One copy at a time, whichever thread runs it.
std::mutex copyLock;
// Whether a copy is under way on any thread.
std::atomic<bool> copyUnderWay = false;
// How long cancelling waits for the copy under way to stop between two chunks, and then for its
// temporary file to go: the program ending waits no longer for a volume that does not answer.
constexpr int cancelWaitMs = 1000;
constexpr int discardWaitMs = 200;
// The burst the copies started now belong to.
std::atomic<quint64> currentBurst = 0;

// Runs one copy on this thread. Nothing escapes it: a copy that throws, an allocation that
// fails included, is one failed copy.
Result<CopiedSource> runCopy(CopyJob& job) {
    if (cancelled)
        return errnoFailure(ECANCELED);
    const std::scoped_lock lock(copyLock);
    copyUnderWay = true;
    Result<CopiedSource> copied = errnoFailure(ENOMEM);
    try {
        copied = copyOneFile(job);
    } catch (const std::bad_alloc&) {
    } catch (const std::exception& fault) {
        copied = Status::failure(QString::fromLocal8Bit(fault.what()));
    } catch (...) {
        copied = Status::failure(QStringLiteral("The copy stopped on an unexpected fault."));
    }
    copyUnderWay = false;
    return copied;
}

// The one long-lived thread that runs the started copies in turn. It is started by the first
// copy and again after a start that failed; it stops when the application ends.
class CopyWorker {
public:
    static CopyWorker& instance() {
        static CopyWorker worker;
        return worker;
    }

    Status submit(std::function<void()> job) {
        if (const CopyFaults* fault = faults(); fault && fault->workerError != 0)
            return notStarted(fault->workerError);
        std::unique_lock lock(m_lock);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error& fault) {
                return notStarted(fault.code().value());
            }
            qAddPostRoutine([] { CopyWorker::instance().stop(); });
        }
        m_jobs.push_back(std::move(job));
        m_wake.notify_one();
        return Status::success();
    }

    void stop() {
        {
            const std::scoped_lock lock(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        // A copy held up by a volume that does not answer ends with the process.
        if (m_thread.joinable() && copyUnderWay)
            m_thread.detach();
        else if (m_thread.joinable())
            m_thread.join();
        const std::scoped_lock lock(m_lock);
        m_thread = std::thread();
        m_stopping = false;
    }

private:
    CopyWorker() = default;
    ~CopyWorker() { stop(); }

    static Status notStarted(int error) {
        return Status::failure(QStringLiteral("The copy could not be started.  ") +
                               errorDescription(error));
    }

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_lock);
                m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::thread m_thread;
    bool m_stopping = false;
};

// A started copy on its receiver's thread: it tells how far the data has come once the copy has
// run for about a second, and hands the outcome over when the worker is done. It outlives its
// receiver, so that the worker always has somewhere to post the end to; it goes with that end.
class StartedCopy : public QObject {
public:
    StartedCopy(QObject* receiver, CopyDone done, CopyProgress progress)
        : m_receiver(receiver), m_done(std::move(done)), m_progress(std::move(progress)) {
        m_clock.start();
        if (m_progress) {
            QObject::connect(&m_timer, &QTimer::timeout, this, [this] { report(); });
            m_timer.start(250);
        }
        if (receiver && receiver->thread() != thread())
            moveToThread(receiver->thread());
    }

    std::shared_ptr<CopyJob> job = std::make_shared<CopyJob>();

    // On the receiver's thread: the copy has ended.
    void finish(const Result<CopiedSource>& copied) {
        m_timer.stop();
        const QPointer<QObject> receiver = m_receiver;
        if (m_shown && receiver)
            m_progress(-1);
        const CopyDone done = std::move(m_done);
        delete this;
        if (receiver)
            done(copied);
    }

private:
    void report() {
        if (m_clock.elapsed() < 1000 || !m_receiver)
            return;
        m_shown = true;
        const qint64 total = std::max<qint64>(job->total, 1);
        m_progress(int(std::min<qint64>(job->moved * 100 / total, 100)));
    }

    QPointer<QObject> m_receiver;
    CopyDone m_done;
    CopyProgress m_progress;
    QElapsedTimer m_clock;
    QTimer m_timer{this};
    bool m_shown = false;
};

// A program ended by its session does not get back to the copy under way to clean up: once the
// copy has stopped between two chunks, or after a while when the disk holds it up, its
// temporary file goes.
void discardCopyUnderWay() {
    QElapsedTimer waited;
    waited.start();
    while (copyUnderWay && waited.elapsed() < cancelWaitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
#if defined(Q_OS_LINUX)
    // On a thread of its own: on a volume that does not answer the removal never returns.
    auto removed = std::make_shared<std::promise<void>>();
    std::future<void> done = removed->get_future();
    std::thread([removed] {
        discardTemporaryInUse();
        removed->set_value();
    }).detach();
    done.wait_for(std::chrono::milliseconds(discardWaitMs));
#endif
}

} // namespace

bool copyCancelled() {
    return cancelled;
}

Result<CopiedSource> copyFileOver(const QString& source, const QString& destination) {
    CopyJob job;
    job.source = source;
    job.destination = destination;
    return runCopy(job);
}

Status startCopy(QObject* receiver, const QString& source, const QString& destination,
                 const CopyDone& done, const CopyProgress& progress, NewerDestination newer,
                 std::optional<qint64> givenNs) {
    if (cancelled)
        return errnoFailure(ECANCELED);
    auto* started = new StartedCopy(receiver, done, progress);
    const std::shared_ptr<CopyJob> job = started->job;
    job->source = source;
    job->destination = destination;
    job->newer = newer;
    job->givenNs = givenNs;
    job->burst = currentBurst;
    const Status submitted = CopyWorker::instance().submit([job, started] {
        const Result<CopiedSource> copied = runCopy(*job);
        QMetaObject::invokeMethod(
            started, [started, copied] { started->finish(copied); }, Qt::QueuedConnection);
    });
    if (!submitted)
        delete started;
    return submitted;
}

void beginCopyBurst() {
    ++currentBurst;
}

void cancelCopies() {
    cancelled = true;
    discardCopyUnderWay();
}

void allowCopiesAgain() {
    cancelled = false;
}
