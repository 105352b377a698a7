#pragma once

// Included into every test (the build puts it first): a failed comparison of texts prints them
// as they are, Chinese included, instead of Qt Test's \uXXXX escapes.

#include <QtTest>

namespace kv306::test {

inline QByteArray Quoted(const QString &text)
{
    return '"' + text.toUtf8() + '"';
}

inline bool ReportDiffering(const QByteArray &actual, const QByteArray &expected, const char *a,
                            const char *e, const char *file, int line)
{
    const QByteArray message = "Compared values are not the same\n   Actual   (" + QByteArray(a) +
                               "): " + actual + "\n   Expected (" + QByteArray(e) + "): " + expected;
    QTest::qFail(message.constData(), file, line);
    return false;
}

template <typename A, typename E>
bool Compare(const A &actual, const E &expected, const char *a, const char *e, const char *file, int line)
{
    return QTest::qCompare(actual, expected, a, e, file, line);
}

inline bool Compare(const QString &actual, const QString &expected, const char *a, const char *e,
                    const char *file, int line)
{
    if (actual == expected)
        return QTest::qCompare(actual, expected, a, e, file, line);
    return ReportDiffering(Quoted(actual), Quoted(expected), a, e, file, line);
}

inline bool Compare(const QStringList &actual, const QStringList &expected, const char *a, const char *e,
                    const char *file, int line)
{
    if (actual == expected)
        return QTest::qCompare(actual, expected, a, e, file, line);
    const auto joined = [](const QStringList &list) {
        QByteArray out = "(";
        for (qsizetype i = 0; i < list.size(); ++i)
            out += (i ? ", " : "") + Quoted(list[i]);
        return out + ')';
    };
    return ReportDiffering(joined(actual), joined(expected), a, e, file, line);
}

}  // namespace kv306::test

#undef QCOMPARE
#define QCOMPARE(actual, expected)                                                                           \
    do {                                                                                                     \
        if (!kv306::test::Compare(actual, expected, #actual, #expected, __FILE__, __LINE__))                 \
            return;                                                                                          \
    } while (false)
