#pragma once

#include "fileState.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One file a check or a question wants to know about, and what it learns.
struct PathLook {
    QString path;
    bool withVersion = false;
};
struct PathFacts {
    FileLook look;
    QString version;
};
using LookFunction = std::function<PathFacts(const PathLook&)>;
// The look itself: the file's kind and state and, when asked, its version.
PathFacts lookAtPath(const PathLook& wanted);

// Looks at files off the window's thread, one thread per volume, so that a volume that stops
// answering (a network share whose server hangs) holds only the looks at its own files. A
// volume whose look has not come back within hangAfter is not answering: what waits for it is
// told so at once, nothing more is queued for it, and it answers again when that look ends.
// At most one look is in flight per volume, however long it hangs.
class FileLooks : public QObject {
    Q_OBJECT
public:
    static constexpr int hangAfter = 1500;
    using Done = std::function<void(std::optional<std::vector<PathFacts>> facts)>;

    explicit FileLooks(LookFunction look = lookAtPath, QObject* parent = nullptr);
    ~FileLooks() override;
    FileLooks(const FileLooks&) = delete;
    FileLooks& operator=(const FileLooks&) = delete;

    // Looks at the paths, all on the named volume; done is called later from the event loop
    // with the facts in the same order, or with nothing when the volume is not answering.
    void look(const QString& volume, std::vector<PathLook> paths, Done done);
    bool answering(const QString& volume) const;
    // Whether every volume looked at so far answers.
    bool allAnswering() const;

signals:
    void stoppedAnswering(const QString& volume);
    void answersAgain(const QString& volume);

private:
    struct Lane;
    struct Waiting {
        quint64 job = 0;
        Done done;
    };
    struct Road {
        std::shared_ptr<Lane> lane;
        std::vector<Waiting> waiting;
        bool hung = false;
    };

    void delivered(const QString& volume, quint64 job, std::vector<PathFacts> facts);
    void watchLanes();
    void failWaiting(Road& road);

    LookFunction m_look;
    QHash<QString, Road> m_roads;
    quint64 m_lastJob = 0;
    QTimer m_watchdog;
};
