#pragma once

#include "link/serial_control.h"
#include "link/toolkit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <vector>

namespace kv306::test {

// A message box that was shown, and whether the port was open while it was on screen.
struct Box {
    QString text;
    int code = 0;
    std::optional<QString> title;
    bool portOpen = false;
};

// Stands in for the desktop: records boxes, pauses and started programs instead of showing
// them. Pauses are recorded and, unless `realSleep` is cleared, really taken.
class RecordingToolkit : public Toolkit {
public:
    RecordingToolkit() { clock_.start(); }

    void MsgBox(const QString &text, int code, const std::optional<QString> &title) override
    {
        boxes.push_back({text, code, title, comm && comm->PortOpen()});
        events.push_back(QStringLiteral("box ") + text);
        if (onBox)
            onBox(boxes.back());
    }
    void Sleep(int ms) override
    {
        sleeps.push_back(ms);
        events.push_back(QStringLiteral("sleep %1").arg(ms));
        if (realSleep && ms > 0)
            QThread::msleep(static_cast<unsigned long>(ms));
    }
    qint64 Clock() override { return clock_.elapsed(); }
    void DoEvents() override
    {
        ++doEvents;
        events.push_back(QStringLiteral("events"));
        QCoreApplication::processEvents();
    }
    QString AppPath() override { return appPath; }
    bool StartProgram(const QString &program, const QStringList &arguments) override
    {
        started.push_back({program, arguments});
        return startSucceeds;
    }

    QStringList BoxTexts() const
    {
        QStringList texts;
        for (const Box &b : boxes)
            texts << b.text;
        return texts;
    }
    void Clear()
    {
        boxes.clear();
        sleeps.clear();
        events.clear();
        doEvents = 0;
    }

    MSComm *comm = nullptr;
    std::function<void(const Box &)> onBox;
    std::vector<Box> boxes;
    std::vector<int> sleeps;
    QStringList events;
    int doEvents = 0;
    bool realSleep = true;
    QString appPath;
    std::vector<std::pair<QString, QStringList>> started;
    bool startSucceeds = true;

private:
    QElapsedTimer clock_;
};

}  // namespace kv306::test
