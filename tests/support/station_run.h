#pragma once

// kv306ctl's station run as a process (KV306CTL names the program), with the profile it applies.

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace kv306::test {

const QByteArray kProfile = R"({"format": "kv306-profile", "version": 1, "horizontal": 24, "vertical": 18,
 "size": 30, "standard": "PAL", "roundness": 2, "outside": "remove"})";

// A station run as a process, its standard error followed while it runs.
class StationRun {
public:
    // `redirect`: the shell's redirections of the program's standard streams ("<&- >&-"); `cwd`:
    // where it runs.
    StationRun(const QString &dir, const QStringList &args, const QString &redirect = {},
               const QString &cwd = {})
    {
        QFile profile(dir + "/line.json");
        profile.open(QIODevice::WriteOnly);
        profile.write(kProfile);
        profile.close();
        p_.setWorkingDirectory(cwd);
        const QStringList line = QStringList{"station", profile.fileName()} + args;
        if (redirect.isEmpty())
            p_.start(QStringLiteral(KV306CTL), line);
        else
            p_.start("bash", QStringList{"-c", "exec \"$0\" \"$@\" " + redirect, KV306CTL} + line);
        QVERIFY(p_.waitForStarted());
    }
    ~StationRun()
    {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished();
        }
    }
    // Standard error so far.
    QString Err()
    {
        err_ += QString::fromUtf8(p_.readAllStandardError());
        return err_;
    }
    int Said(const QString &line) { return static_cast<int>(Err().count(line + '\n')); }
    // Lines on its standard input, as a scanner types them; then its end.
    void Type(const QByteArray &lines) { p_.write(lines); }
    void EndInput() { p_.closeWriteChannel(); }
    void Signal(int signo) { ::kill(static_cast<pid_t>(p_.processId()), signo); }
    qint64 Pid() const { return p_.processId(); }
    int Finish()
    {
        if (p_.state() != QProcess::NotRunning && !p_.waitForFinished(20000))
            qFatal("the station did not end: %s", qPrintable(Err()));
        out_ = QString::fromUtf8(p_.readAllStandardOutput());
        Err();
        return p_.exitCode();
    }
    QString out_;

private:
    QProcess p_;
    QString err_;
};

}  // namespace kv306::test
