#include "link/output_file.h"

#include "link/texts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace kv306 {

SaveTarget ChooseSaveTarget(const QString &chosen, const QString &suffix)
{
    SaveTarget target;
    const QFileInfo info(chosen);
    QString path = chosen;
    // A name that is there is written as it is: /dev/full is refused, not made /dev/full.json.
    if (!info.exists() && !info.isSymLink() && info.suffix().isEmpty() && !suffix.isEmpty()) {
        path += QLatin1Char('.') + suffix;
        target.suffixAdded = true;
    }
    const QFileInfo named(path);
    if (named.isSymLink()) {
        const QString leadsTo = named.symLinkTarget();
        if (!QFileInfo::exists(leadsTo)) {
            target.refusal = Tx::tr("%1 是指向 %2 的符号链接，那里什么也没有")
                                 .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(leadsTo));
            return target;
        }
        path = leadsTo;  // the link stays, what it leads to is written
    }
    target.refusal = NotPlainFile(path);
    if (target.refusal.isEmpty())
        target.path = path;
    return target;
}

Done OpenToRead(QFile &file)
{
    if (const QString refusal = NotPlainFile(file.fileName()); !refusal.isEmpty())
        return Done::Refused(refusal);
    if (!file.open(QIODevice::ReadOnly))
        return Done::Refused(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
    return Done::Ok();
}

Done SaveToTarget(const SaveTarget &target, const QByteArray &content)
{
    if (target.path.isEmpty())
        return Done::Refused(target.refusal);
    return WriteWhole(target.path, content);
}

Done WriteWhole(const QString &path, const QByteArray &content, bool inPlaceWhenRefused)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(inPlaceWhenRefused);
    // Unbuffered: a write the disk refuses fails here, where it is seen (a buffered one fails at
    // the commit's flush, which QSaveFile lets pass, and leaves an empty file in place).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(content) != content.size() ||
        !file.commit())
        return Done::Refused(file.errorString());
    return Done::Ok();
}

namespace {

// The name's file as the system would reach it: links followed to their end even when that is
// not there yet, and the folder it sits in without links or dots.
QString FollowedName(const QString &path)
{
    QString name = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(name);
        if (!info.isSymLink())
            break;
        name = info.symLinkTarget();
    }
    const QFileInfo info(name);
    const QString folder = QFileInfo(info.path()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.path() : folder) + QLatin1Char('/') + info.fileName());
}

}  // namespace

bool SameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (SameNode(a, b))
        return true;
    return FollowedName(a).compare(FollowedName(b), FileNameCase()) == 0;
}

QString FileIdentity(const QString &path)
{
    const QString name = FollowedName(path);
    return FileNameCase() == Qt::CaseInsensitive ? name.toLower() : name;
}

QString SystemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

}  // namespace kv306
