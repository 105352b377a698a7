#include "link/word_wrap.h"

#include <QStringList>

namespace kv306 {

QString Wrapped(const QString &first, const QString &text)
{
    QString out;
    QString line = first;
    const qsizetype indent = first.size();
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (line.size() + word.size() > 80 && line.size() > indent) {
            out += line.chopped(1) + QLatin1Char('\n');
            line = QString(indent, QLatin1Char(' '));
        }
        line += word + QLatin1Char(' ');
    }
    return out + line.chopped(1) + QLatin1Char('\n');
}

}  // namespace kv306
