#include "panel/language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace kv306 {

QString LanguageFor(const QByteArray &kv306Lang, const QLocale &locale)
{
    if (kv306Lang == "en")
        return QStringLiteral("en");
    if (kv306Lang == "zh")
        return QStringLiteral("zh");
    return locale.language() == QLocale::English ? QStringLiteral("en") : QStringLiteral("zh");
}

QString ChosenLanguage()
{
    return LanguageFor(qgetenv("KV306_LANG"), QLocale::system());
}

bool UseLanguage(const QString &language)
{
    if (language == QLatin1String("zh"))
        return true;
    // One translator for the life of the program.
    static QTranslator translator;
    if (!translator.load(QStringLiteral(":/i18n/kv306_%1.qm").arg(language)))
        return false;
    QCoreApplication::installTranslator(&translator);
    return true;
}

}  // namespace kv306
