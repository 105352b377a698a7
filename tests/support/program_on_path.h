#pragma once

#include <QFile>
#include <QTemporaryDir>

namespace kv306::test {

// A shell script of that name, alone on PATH while this lives: a stand-in for a desktop program.
class ProgramOnPath {
public:
    ProgramOnPath(const QString &name, const QByteArray &script) : path_(qgetenv("PATH"))
    {
        QFile file(Path(name));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(script);
        file.close();
        QFile::setPermissions(file.fileName(), QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toLocal8Bit());
    }
    ~ProgramOnPath() { qputenv("PATH", path_); }
    QString Path(const QString &name) const { return bin_.filePath(name); }

private:
    QTemporaryDir bin_;
    QByteArray path_;
};

}  // namespace kv306::test
