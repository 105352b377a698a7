#pragma once

#include "panel/form1.h"
#include "support/recording_toolkit.h"

#include <QFile>
#include <QTemporaryDir>

#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

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
        if (::geteuid() != 0)
            return;
        groups_.resize(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
        groups_.resize(static_cast<std::size_t>(
            std::max(::getgroups(static_cast<int>(groups_.size()), groups_.data()), 0)));
        // nobody belongs to no group of root's.
        dropped_ = ::setgroups(0, nullptr) == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (dropped_) {
            (void)!::seteuid(0);
            (void)!::setegid(0);
            (void)!::setgroups(groups_.size(), groups_.data());
        }
    }
    bool Dropped() const { return dropped_; }

private:
    bool dropped_ = false;
    std::vector<gid_t> groups_;
};

}  // namespace kv306::test
