#pragma once

#include "support/ser2net.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace kv306::test {

// A PostgreSQL 15 of the test's own, as Debian installs it: a cluster made in a temporary folder
// with SCRAM passwords and TLS on a certificate made here, listening on 127.0.0.1 at a free port,
// run as the postgres user when the test runs as root (the server refuses root), stopped and
// removed at the end. The password of its user "admin" is in a pgpass file that PGPASSFILE names
// for the programs the test starts. A test that needs it and cannot start it fails.
class Postgres {
public:
    Postgres() : port(FreePort())
    {
        data_ = dir_.filePath("data");
        QVERIFY2(QDir().mkpath(data_), "no data folder");
        Write(dir_.filePath("pw"), "secret\n");
        // Who may connect: this computer, with a password, over TLS or not.
        if (::getuid() == 0)
            Run("chown", {"-R", "postgres:postgres", dir_.path()});
        Server({"initdb", "-D", data_, "-A", "scram-sha-256", "--pwfile", dir_.filePath("pw"), "-U", "admin",
                "--no-sync", "-E", "UTF8", "--locale", "C"});
        // The server's certificate, signed by an authority of the test's own.
        const QString ca = dir_.filePath("ca");
        Run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=kv306 test CA", "-keyout", ca + ".key", "-out", ca + ".crt"});
        Run("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                        data_ + "/server.key", "-out", dir_.filePath("server.csr")});
        Write(dir_.filePath("ext"), "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        Run("openssl", {"x509", "-req", "-in", dir_.filePath("server.csr"), "-CA", ca + ".crt", "-CAkey",
                        ca + ".key", "-CAcreateserial", "-days", "2", "-extfile", dir_.filePath("ext"),
                        "-out", data_ + "/server.crt"});
        QFile::setPermissions(data_ + "/server.key", QFile::ReadOwner | QFile::WriteOwner);
        if (::getuid() == 0)
            Run("chown", {"-R", "postgres:postgres", dir_.path()});
        caFile = ca + ".crt";
        pgpass = dir_.filePath("pgpass");
        Write(pgpass, QStringLiteral("127.0.0.1:%1:*:admin:secret\n").arg(port).toUtf8());
        QFile::setPermissions(pgpass, QFile::ReadOwner | QFile::WriteOwner);
        Start();
        qputenv("PGPASSFILE", QFile::encodeName(pgpass));
    }
    ~Postgres() { Stop("fast"); }

    // postgresql://admin@127.0.0.1:PORT/postgres, TLS checked against the test's authority.
    QString Url(const QString &options = QStringLiteral("sslmode=verify-full")) const
    {
        return QStringLiteral("postgresql://admin@127.0.0.1:%1/postgres?%2&sslrootcert=%3")
            .arg(port)
            .arg(options, caFile);
    }

    void Start()
    {
        Server({"pg_ctl", "-D", data_, "-w", "-l", dir_.filePath("log"), "-o",
                QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c ssl=on -c fsync=off")
                    .arg(port)
                    .arg(dir_.path()),
                "start"});
    }
    // "immediate": as a crash or a pulled cable looks to a client; "fast": a clean stop.
    void Stop(const char *mode)
    {
        const QStringList args{"-D", data_, "-w", "-m", QString::fromLatin1(mode), "stop"};
        QProcess p;
        if (::getuid() == 0)
            p.start(QStringLiteral("/usr/sbin/runuser"),
                    QStringList{"-u", "postgres", "--", Program("pg_ctl")} + args);
        else
            p.start(Program("pg_ctl"), args);
        p.waitForFinished(30000);
    }
    // Runs SQL as admin; its output.
    QString Sql(const QString &sql) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PGPASSFILE", pgpass);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("psql"),
                {"-X", "-q", "-t", "-A", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p",
                 QString::number(port), "-U", "admin", "-d", "postgres", "-c", sql});
        p.waitForFinished(30000);
        if (p.exitCode() != 0)
            qWarning("psql: %s", p.readAllStandardError().constData());
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    const quint16 port;
    QString caFile;
    QString pgpass;

private:
    static QString Program(const char *name)
    {
        return QStringLiteral("/usr/lib/postgresql/15/bin/") + QLatin1String(name);
    }
    static void Write(const QString &path, const QByteArray &text)
    {
        QFile f(path);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
        f.write(text);
    }
    static void Run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        QVERIFY2(p.waitForFinished(60000) && p.exitCode() == 0,
                 qPrintable(program + ": " + QString::fromUtf8(p.readAllStandardError())));
    }
    // One of the server's own programs, as its own user when the test runs as root.
    void Server(QStringList args) const
    {
        const QString program = Program(qPrintable(args.takeFirst()));
        if (::getuid() == 0)
            Run(QStringLiteral("/usr/sbin/runuser"), QStringList{"-u", "postgres", "--", program} + args);
        else
            Run(program, args);
    }

    QTemporaryDir dir_;
    QString data_;
};

}  // namespace kv306::test
