#pragma once

#include "panel/form1.h"
#include "support/recording_toolkit.h"

#include <QFile>
#include <QTemporaryDir>

namespace kv306::test {

// The real window on a recording toolkit, with its program directory in a temporary folder.
struct Window {
    Window()
    {
        toolkit.appPath = appDir.path();
        toolkit.comm = &form.Serial();
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
        for (DropList *list : form.ParamLists())
            texts << list->currentText();
        return texts;
    }
    QStringList PortEntries() const
    {
        QStringList entries;
        for (int i = 0; i < form.PortList()->count(); ++i)
            entries << form.PortList()->itemText(i);
        return entries;
    }

    QTemporaryDir appDir{QDir::tempPath() + QStringLiteral("/kv306 app dir XXXXXX")};
    RecordingToolkit toolkit;
    Form1 form{toolkit};
};

}  // namespace kv306::test
