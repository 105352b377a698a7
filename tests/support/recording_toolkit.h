#pragma once

#include "link/serial_control.h"
#include "panel/toolkit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
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
        if (onSleep)
            onSleep(ms);
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

    bool StartOpener(const QString &program, const QStringList &arguments,
                     std::function<void()> failed) override
    {
        started.push_back({program, arguments});
        if (startSucceeds && openerFails && failed)
            failed();
        return startSucceeds;
    }
    QString AskSaveFile(const QString &title, const QString &, const QString &) override
    {
        events.push_back(QStringLiteral("ask ") + title);
        return fileAnswer;
    }
    bool AskYesNo(const QString &text, const QString &) override
    {
        events.push_back(QStringLiteral("question ") + text);
        return yesAnswer;
    }
    bool ProgressCancelled() override
    {
        QCoreApplication::processEvents();
        return cancelNow;
    }
    QString AskOpenFile(const QString &title, const QString &, const QString &) override
    {
        events.push_back(QStringLiteral("ask ") + title);
        return fileAnswer;
    }
    bool ShowProgress(const QString &text, int done, int total) override
    {
        progress << QStringLiteral("%1 %2/%3").arg(text).arg(done).arg(total);
        QCoreApplication::processEvents();
        return cancelAtProgress < 0 || progress.size() <= cancelAtProgress;
    }
    bool ShowTextFile(const QString &title, const QString &path) override
    {
        shownFiles << path;
        (void)title;
        return QFileInfo(path).isReadable();
    }

    QStringList BoxTexts() const
    {
        QStringList texts;
        for (const Box &b : boxes)
            texts << b.text;
        return texts;
    }
    // The first line of each box: the message itself, without what the window adds below it
    // (what came of a reply, what a port failure means for the port).
    QStringList BoxHeads() const
    {
        QStringList heads;
        for (const Box &b : boxes)
            heads << b.text.section(QLatin1Char('\n'), 0, 0);
        return heads;
    }
    void Clear()
    {
        boxes.clear();
        sleeps.clear();
        events.clear();
        doEvents = 0;
    }

    SerialControl *comm = nullptr;
    std::function<void(const Box &)> onBox;
    std::function<void(int)> onSleep;
    std::vector<Box> boxes;
    std::vector<int> sleeps;
    QStringList events;
    int doEvents = 0;
    bool realSleep = true;
    QString appPath;
    std::vector<std::pair<QString, QStringList>> started;
    bool startSucceeds = true;
    bool openerFails = false;
    QString fileAnswer;         // what a file dialog answers (empty: cancelled)
    QStringList progress;       // every progress shown
    int cancelAtProgress = -1;  // the operator cancels after this many progress shows
    bool cancelNow = false;     // the operator has pressed Cancel on the progress box
    bool yesAnswer = false;     // what a yes-or-no question answers
    QStringList shownFiles;     // files shown in the tool's own viewer

private:
    QElapsedTimer clock_;
};

}  // namespace kv306::test
