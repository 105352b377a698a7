#pragma once

#include "panel/form1.h"
#include "support/recording_toolkit.h"

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace kv306::test {

// The real window on a recording toolkit, with its program directory in a temporary folder.
struct Window {
    Window()
    {
        toolkit.appPath = appDir.path();
        toolkit.comm = &form.MSComm1;
    }
    QString PortFilePath() const { return appDir.filePath(QStringLiteral("Com.TXT")); }
    QByteArray PortFile() const
    {
        QFile f(PortFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    void WritePortFile(const QByteArray &content) const
    {
        QFile f(PortFilePath());
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
    QStringList ListTexts() const
    {
        QStringList texts;
        for (DropList *list : form.Combo1)
            texts << list->currentText();
        return texts;
    }
    QStringList PortEntries() const
    {
        QStringList entries;
        for (int i = 0; i < form.Combo2->count(); ++i)
            entries << form.Combo2->itemText(i);
        return entries;
    }

    QTemporaryDir appDir{QDir::tempPath() + QStringLiteral("/kv306 app dir XXXXXX")};
    RecordingToolkit toolkit;
    Form1 form{toolkit};
};

// Acts as an ordinary user for a while: root writes through read-only directories.
class Unprivileged {
public:
    Unprivileged()
    {
        if (::geteuid() == 0)
            dropped_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (dropped_) {
            (void)!::seteuid(0);
            (void)!::setegid(0);
        }
    }

private:
    bool dropped_ = false;
};

}  // namespace kv306::test
