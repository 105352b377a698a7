#pragma once

#include "support/rig.h"

#include "panel/main_window.h"

namespace kv306::test {

// The program's window with its menus, on a recording toolkit, after start-up.
struct Main {
    explicit Main(bool load = true)
    {
        toolkit.appPath = appDir.path();
        toolkit.realSleep = false;
        toolkit.comm = &window.Form().Serial();
        if (load && !window.Form().Load())
            qFatal("start-up failed");
        toolkit.Clear();
    }
    QStringList Lists()
    {
        QStringList texts;
        for (DropList *list : window.Form().ParamLists())
            texts << list->currentText();
        return texts;
    }
    QByteArray PortFile() const
    {
        QFile f(appDir.filePath(QStringLiteral("Com.TXT")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    QTemporaryDir appDir;
    RecordingToolkit toolkit;
    MainWindow window{toolkit};
};

}  // namespace kv306::test
