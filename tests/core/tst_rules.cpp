#include "modDateText.h"
#include "modFileDateTime.h"
#include "modRules.h"
#include "task.h"

#include <QLocale>
#include <QtTest>

#include <functional>

namespace {

constexpr qint64 second = 1000000000;
constexpr qint64 hour = 3600 * second;

// A task last copied at 08:00:00.25 on 5 March 2024, and its files as that copy left them: the
// destination holds the source's time to the nanosecond and was written after it.
struct Case {
    Task task;
    RuleFacts facts;

    Case(RulePosition rule) {
        task.rule = ruleTexts()[rule];
        facts.source = {1, 10, 100, copied, copied};
        restamp();
        task.fileDate = facts.sourceDate;
        task.fileTime = facts.sourceTime;
        task.fileVersion = facts.version = QStringLiteral("1.02.03.04");
        task.lastUpdated = facts.today = dateText(QDate(2024, 3, 5));
        facts.destination = FileState{1, 11, 100, copied, copied + second};
        facts.exactTimes = true;
    }
    // The texts of the source's time, as the check makes them.
    void restamp() {
        const FileStamp stamp = fileStampOf(QStringLiteral("/s"), facts.source);
        facts.sourceDate = stamp.date;
        facts.sourceTime = stamp.time;
    }
    // A stick that keeps local time and two seconds.
    void onFat() {
        facts.destinationKeepsLocalTime = true;
        facts.destinationResolution = 2;
        facts.exactTimes = false;
        facts.givenNs = copied;
    }
    // A new run, which knows of the last copy only what its texts say, made this far from it: the
    // local time of a stick as summer time has moved it since.
    void restartedAcrossSummerTime(qint64 shift) {
        facts.givenNs.reset();
        facts.destination->modifiedNs += shift;
        const FileStamp stamp = fileStampOf(QStringLiteral("/s"), {1, 10, 100, copied + shift, 0});
        task.fileDate = stamp.date;
        task.fileTime = stamp.time;
    }
    // The source saved again, ahead by the given time.
    void saved(qint64 ahead) {
        facts.source.modifiedNs += ahead;
        facts.source.changedNs += ahead;
        restamp();
    }

    static constexpr qint64 copied = 1709625600 * second + 250000000;
};

using Change = std::function<void(Case&)>;

} // namespace

class TestRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        qputenv("TZ", "UTC");
        tzset();
    }

    void isDue_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("due");
        const auto row = [](const char* name, RulePosition rule, bool due, Change change) {
            QTest::newRow(name) << int(rule) << change << due;
        };
        const Change none = [](Case&) {};
        for (const RulePosition rule : {ruleSourceChanged, ruleVersionChanged, ruleSourceNewer,
                                        ruleEveryDay, ruleOnlyWhenSelected})
            row(qPrintable(ruleTexts()[rule] + ", as copied"), rule, false, none);

        row("changed, a second later", ruleSourceChanged, true, [](Case& c) { c.saved(second); });
        row("changed, a second earlier", ruleSourceChanged, true,
            [](Case& c) { c.saved(-second); });
        row("changed, nothing stored", ruleSourceChanged, true,
            [](Case& c) { c.task.fileTime.clear(); });
        row("changed, damaged date", ruleSourceChanged, true,
            [](Case& c) { c.task.fileDate = "99/99/99999"; });
        row("changed, new content in the same second", ruleSourceChanged, true, [](Case& c) {
            c.facts.lastSeen = c.facts.source;
            c.saved(second / 2);
        });
        row("changed, same size and time, new file", ruleSourceChanged, true, [](Case& c) {
            c.facts.lastSeen = c.facts.source;
            c.facts.source.inode = 12;
        });
        row("changed, as this run saw it", ruleSourceChanged, false,
            [](Case& c) { c.facts.lastSeen = c.facts.source; });
        row("changed, new file after a restart", ruleSourceChanged, true, [](Case& c) {
            c.facts.source.inode = 12;
            c.facts.source.changedNs = c.facts.destination->changedNs + second;
        });
        row("changed, same second after a restart", ruleSourceChanged, true,
            [](Case& c) { c.saved(second / 2 - 1); });
        row("changed, after a restart onto a stick", ruleSourceChanged, false, [](Case& c) {
            c.facts.exactTimes = false;
            c.facts.source.changedNs += hour;
        });
        row("changed, destination edited since", ruleSourceChanged, false,
            [](Case& c) { c.facts.destination->modifiedNs += hour; });

        row("version, changed", ruleVersionChanged, true,
            [](Case& c) { c.facts.version = "1.02.03.05"; });
        row("version, none stored", ruleVersionChanged, true,
            [](Case& c) { c.task.fileVersion.clear(); });
        row("version, other letter case", ruleVersionChanged, false,
            [](Case& c) { c.task.rule = c.task.rule.toUpper(); });

        row("newer, destination missing", ruleSourceNewer, true,
            [](Case& c) { c.facts.destination.reset(); });
        row("newer, destination a second older", ruleSourceNewer, true,
            [](Case& c) { c.facts.destination->modifiedNs -= second; });
        row("newer, destination newer", ruleSourceNewer, false,
            [](Case& c) { c.facts.destination->modifiedNs += second; });
        row("newer, on a stick, a second older", ruleSourceNewer, false, [](Case& c) {
            c.onFat();
            c.facts.destination->modifiedNs -= second;
        });
        row("newer, on a stick, three seconds older", ruleSourceNewer, true, [](Case& c) {
            c.onFat();
            c.facts.destination->modifiedNs -= 3 * second;
        });
        row("newer, on a stick after summer time begins", ruleSourceNewer, false, [](Case& c) {
            c.onFat();
            c.facts.destination->modifiedNs -= hour + second;
        });
        row("newer, on a stick after summer time ends, saved since", ruleSourceNewer, true,
            [](Case& c) {
                c.onFat();
                c.facts.destination->modifiedNs += hour;
                c.saved(10 * 60 * second);
            });
        row("newer, on a stick, restarted after summer time ends, saved since", ruleSourceNewer,
            true, [](Case& c) {
                c.onFat();
                c.restartedAcrossSummerTime(hour);
                c.saved(10 * 60 * second);
            });
        row("newer, on a stick, restarted after summer time begins", ruleSourceNewer, false,
            [](Case& c) {
                c.onFat();
                c.restartedAcrossSummerTime(-hour);
            });
        row("newer, an hour older, not a stick", ruleSourceNewer, true,
            [](Case& c) { c.facts.destination->modifiedNs -= hour; });

        row("every day, next day", ruleEveryDay, true,
            [](Case& c) { c.facts.today = dateText(QDate(2024, 3, 6)); });
        row("every day, never copied", ruleEveryDay, true,
            [](Case& c) { c.task.lastUpdated.clear(); });
        row("every day, damaged", ruleEveryDay, true,
            [](Case& c) { c.task.lastUpdated = "yesterday"; });
        row("unknown rule", ruleSourceChanged, false, [](Case& c) {
            c.task.rule = "Every other day";
            c.task.fileDate.clear();
        });
    }

    void isDue() {
        QFETCH(int, rule);
        QFETCH(Change, change);
        QFETCH(bool, due);
        Case scene(static_cast<RulePosition>(rule));
        change(scene);
        QCOMPARE(::isDue(scene.task, scene.facts), due);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
