#pragma once

// kv306ctl run to its end by a test program that names it (KV306CTL, the build's path).

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace kv306::test {

struct CtlRun {
    int code = -1;
    QString out;
    QString err;
    qint64 ms = 0;  // from start to end
};

// Runs `program` (kv306ctl) with `args`; `prepare` sets the process up before it starts.
inline CtlRun RunCtl(const QStringList &args, const std::function<void(QProcess &)> &prepare = {},
                     const QString &program = QStringLiteral(KV306CTL))
{
    QProcess p;
    if (prepare)
        prepare(p);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForFinished(30000))
        qFatal("kv306ctl %s did not end", qPrintable(args.join(' ')));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()), clock.elapsed()};
}

}  // namespace kv306::test
