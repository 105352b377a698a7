#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace kv306::test {

// A loopback port nobody listens on now (the system's choice, let go at once).
inline quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// ser2net's path, or empty: a daemon, in sbin, which a user's PATH on Debian leaves out.
inline QString Ser2NetProgram()
{
    const QString name = QStringLiteral("ser2net");
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin"}) : onPath;
}

// ser2net has no sign of being ready: its ports accept once it is. Waits for each to accept
// (5 s at most), then for the probes' connections to be let go.
inline void AwaitListening(const QList<quint16> &ports)
{
    QElapsedTimer clock;
    clock.start();
    for (const quint16 port : ports) {
        for (;;) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(200))
                break;
            if (clock.elapsed() > 5000)
                qFatal("ser2net does not listen on %d", port);
            QThread::msleep(20);
        }
    }
    QThread::msleep(50);
}

// Debian's ser2net bridging a device (a simulated unit's terminal) to two loopback TCP ports: one
// raw (socket://) and one speaking RFC 2217 (rfc2217://). The serial side is configured at
// `speed` n81, so that what an RFC 2217 client sets can be seen on the device. No banner.
class Ser2Net {
public:
    Ser2Net(const QString &device, int speed = 9600) : raw(FreePort()), telnet(FreePort())
    {
        QFile config(dir_.filePath("ser2net.yaml"));
        if (!config.open(QIODevice::WriteOnly))
            qFatal("cannot write the ser2net configuration");
        config.write(QStringLiteral("connection: &raw\n"
                                    "  accepter: tcp,127.0.0.1,%1\n"
                                    "  connector: serialdev,%3,%4n81,local\n"
                                    "connection: &rfc2217\n"
                                    "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                    "  connector: serialdev,%3,%4n81,local\n")
                         .arg(raw)
                         .arg(telnet)
                         .arg(device)
                         .arg(speed)
                         .toUtf8());
        config.close();
        Start();
    }
    ~Ser2Net() { Stop(); }

    void Start()
    {
        const QString program = Ser2NetProgram();
        if (program.isEmpty())
            qFatal("ser2net is not installed (scripts/install-deps installs it)");
        process_.start(program, {"-n", "-u", "-c", dir_.filePath("ser2net.yaml")});
        if (!process_.waitForStarted())
            qFatal("ser2net does not start: %s", qPrintable(process_.errorString()));
        AwaitListening({raw, telnet});
    }
    void Stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    QString Raw() const { return QStringLiteral("socket://127.0.0.1:%1").arg(raw); }
    QString Rfc2217() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnet); }

    const quint16 raw;
    const quint16 telnet;

private:
    QTemporaryDir dir_;
    QProcess process_;
};

}  // namespace kv306::test
