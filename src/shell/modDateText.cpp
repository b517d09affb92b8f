#include "modDateText.h"

#include <QDateTime>
#include <QList>
#include <QLocale>

namespace {

// The byte widths of the task fields these texts are stored in.
constexpr qsizetype dateTextWidth = 25;
constexpr qsizetype timeTextWidth = 10;

// How a text is written and read back: a locale and a format for it.
struct TextForm {
    QLocale locale;
    QString format;
};

// One piece of a date or time format: a run of one field letter, or literal text (quoted
// parts keep their quotes so the pieces join back into the same format).
struct FormatPiece {
    QString text;
    bool field;
};

bool isFieldLetter(QChar c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

QList<FormatPiece> splitFormat(const QString& format) {
    QList<FormatPiece> pieces;
    qsizetype i = 0;
    while (i < format.size()) {
        const qsizetype start = i;
        const QChar c = format[i];
        if (c == '\'') {
            // A quoted literal runs to the next lone quote; '' stands for one quote.
            ++i;
            while (i < format.size() &&
                   !(format[i] == '\'' && (i + 1 >= format.size() || format[i + 1] != '\'')))
                i += format[i] == '\'' ? 2 : 1;
            i = qMin(i + 1, format.size());
        } else if (isFieldLetter(c)) {
            while (i < format.size() && format[i] == c)
                ++i;
        } else {
            while (i < format.size() && format[i] != '\'' && !isFieldLetter(format[i]))
                ++i;
        }
        pieces.append({format.mid(start, i - start), isFieldLetter(c)});
    }
    return pieces;
}

QString joinFormat(const QList<FormatPiece>& pieces) {
    QString format;
    for (const FormatPiece& piece : pieces)
        format += piece.text;
    return format;
}

// The locale's short date format with every year field written with four digits.
QString localeDateFormat(const QLocale& locale) {
    QList<FormatPiece> pieces = splitFormat(locale.dateFormat(QLocale::ShortFormat));
    for (FormatPiece& piece : pieces)
        if (piece.field && piece.text.startsWith('y'))
            piece.text = QStringLiteral("yyyy");
    return joinFormat(pieces);
}

// The locale's short time format with seconds after the minutes, in the separator that stands
// between hours and minutes; empty when the format has no minutes to add them to.
QString localeTimeFormat(const QLocale& locale) {
    QList<FormatPiece> pieces = splitFormat(locale.timeFormat(QLocale::ShortFormat));
    qsizetype minutes = -1;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (pieces[i].field && pieces[i].text.startsWith('s'))
            return joinFormat(pieces);
        if (pieces[i].field && pieces[i].text.startsWith('m'))
            minutes = i;
    }
    if (minutes < 0)
        return QString();
    // Everything between the field before the minutes and the minutes, quoted parts included.
    QString separator;
    for (qsizetype i = minutes - 1; i >= 0 && !pieces[i].field; --i)
        separator.prepend(pieces[i].text);
    if (separator.isEmpty())
        separator = QStringLiteral(":");
    pieces.insert(minutes + 1, {separator, false});
    pieces.insert(minutes + 2, {QStringLiteral("ss"), true});
    return joinFormat(pieces);
}

// Whether every sample written in the form fits the stored width and reads back unchanged.
template <class Value, class Read>
bool formFits(const TextForm& form, const QList<Value>& samples, qsizetype width, Read read) {
    if (form.format.isEmpty())
        return false;
    for (const Value& sample : samples) {
        const QString text = form.locale.toString(sample, form.format);
        if (text.toUtf8().size() > width || read(form.locale, text, form.format) != sample)
            return false;
    }
    return true;
}

// Dates that bring out the longest day and month names and every weekday.
QList<QDate> dateSamples() {
    QList<QDate> samples;
    for (int month = 1; month <= 12; ++month)
        samples.append(QDate(2000, month, 28));
    for (int day = 22; day <= 27; ++day)
        samples.append(QDate(2000, 12, day));
    return samples;
}

// Every hour at its last second, both halves of the day included.
QList<QTime> timeSamples() {
    QList<QTime> samples;
    for (int hour = 0; hour < 24; ++hour)
        samples.append(QTime(hour, 59, 59));
    return samples;
}

TextForm chooseDateForm(const QLocale& locale) {
    const TextForm form{locale, localeDateFormat(locale)};
    const auto read = [](const QLocale& l, const QString& text, const QString& format) {
        return l.toDate(text, format);
    };
    if (formFits(form, dateSamples(), dateTextWidth, read))
        return form;
    return {QLocale::c(), QStringLiteral("yyyy-MM-dd")};
}

TextForm chooseTimeForm(const QLocale& locale) {
    const TextForm form{locale, localeTimeFormat(locale)};
    const auto read = [](const QLocale& l, const QString& text, const QString& format) {
        return l.toTime(text, format);
    };
    if (formFits(form, timeSamples(), timeTextWidth, read))
        return form;
    // Plain digits, so the fallback fits as well in a locale whose own digits are wider.
    return {QLocale::c(), QStringLiteral("HH:mm:ss")};
}

// The form chosen for the locale in use, worked out again only when the locale changes: the
// probes ask for it for every task at every check.
class FormChoice {
public:
    using Choose = TextForm (*)(const QLocale&);
    explicit FormChoice(Choose choose) : m_choose(choose) {}

    const TextForm& current() {
        const QLocale locale;
        if (!m_form || locale != m_locale) {
            m_form = m_choose(locale);
            m_locale = locale;
        }
        return *m_form;
    }

private:
    Choose m_choose;
    QLocale m_locale;
    std::optional<TextForm> m_form;
};

const TextForm& dateForm() {
    static FormChoice choice(chooseDateForm);
    return choice.current();
}

const TextForm& timeForm() {
    static FormChoice choice(chooseTimeForm);
    return choice.current();
}

} // namespace

QString dateText(const QDate& date) {
    const TextForm& form = dateForm();
    return form.locale.toString(date, form.format);
}

QString timeText(const QTime& time) {
    const TextForm& form = timeForm();
    return form.locale.toString(time, form.format);
}

std::optional<QDate> readDateText(const QString& text) {
    const TextForm& form = dateForm();
    const QDate date = form.locale.toDate(text, form.format);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

std::optional<QTime> readTimeText(const QString& text) {
    const TextForm& form = timeForm();
    const QTime time = form.locale.toTime(text, form.format);
    return time.isValid() ? std::optional(time) : std::nullopt;
}
