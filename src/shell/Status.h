#pragma once

#include <QString>

#include <optional>
#include <utility>

// Outcome of an operation that can fail with a one-line message meant for the user.
class [[nodiscard]] Status {
public:
    static Status success() { return Status(); }
    static Status failure(QString message) {
        Status status;
        status.m_failed = true;
        status.m_message = std::move(message);
        return status;
    }

    // A failure that every try meets again until the source changes: a file too large for its
    // volume, a name the volume refuses, a source or destination that is not a file.
    static Status lastingFailure(QString message) {
        Status status = failure(std::move(message));
        status.m_lasting = true;
        return status;
    }

    bool ok() const { return !m_failed; }
    bool lasting() const { return m_lasting; }
    explicit operator bool() const { return ok(); }
    const QString& message() const { return m_message; }

private:
    bool m_failed = false;
    bool m_lasting = false;
    QString m_message;
};

// A value, or the Status that says why there is none.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Status failure) : m_status(std::move(failure)) {}

    bool ok() const { return m_status.ok(); }
    explicit operator bool() const { return ok(); }
    const Status& status() const { return m_status; }
    const QString& message() const { return m_status.message(); }
    // Only meaningful when ok(); a failed result yields a default-constructed value.
    const T& value() const { return m_value; }

private:
    T m_value{};
    Status m_status = Status::success();
};
