#pragma once

#include <QString>

#include <optional>

namespace kv306 {

// What is read, opened or worked out: the value, or the reason there is none. The one way,
// besides CommError on the wire, that link/ and protocol/ say something could not be done.
template <typename T>
struct Checked {
    std::optional<T> value;
    QString reason;  // empty when there is a value

    Checked() = default;
    Checked(T v) : value(std::move(v)) {}  // NOLINT(google-explicit-constructor): a value is a success
    static Checked Refused(const QString &why)
    {
        Checked c;
        c.reason = why;
        return c;
    }
    explicit operator bool() const { return value.has_value(); }
    const T &operator*() const { return *value; }
    T &operator*() { return *value; }
    const T *operator->() const { return &*value; }
};

// Something done, or the reason it was not.
struct Done {
    QString reason;  // empty when done

    static Done Ok() { return {}; }
    // A refusal is never taken for success, whatever it was given to say.
    static Done Refused(const QString &why) { return {why.isEmpty() ? QStringLiteral("failed") : why}; }
    explicit operator bool() const { return reason.isEmpty(); }
};

}  // namespace kv306
