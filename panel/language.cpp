#include "panel/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kv306 {

QString LanguageFor(const QByteArray &kv306Lang, const QLocale &locale)
{
    if (kv306Lang == "en")
        return QStringLiteral("en");
    if (kv306Lang == "zh")
        return QStringLiteral("zh");
    // Chinese is the window's own language, and the C and POSIX locales (a bare system) keep
    // it; every other language gets English, the tool's second.
    switch (locale.language()) {
    case QLocale::Chinese:
    case QLocale::C:
    case QLocale::AnyLanguage: return QStringLiteral("zh");
    default: return QStringLiteral("en");
    }
}

QString ChosenLanguage()
{
    return LanguageFor(qgetenv("KV306_LANG"), QLocale::system());
}

bool UseLanguage(const QString &language)
{
    if (language == QLatin1String("zh")) {
        // The window's texts are Chinese in the code; Qt's own (a box's "OK", the file dialog's
        // "Look in") come from Qt's Chinese translation where the system has it.
        static QTranslator qtTexts;
        if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtTexts);
        return true;
    }
    // One translator for the life of the program.
    static QTranslator translator;
    if (!translator.load(QStringLiteral(":/i18n/kv306_%1.qm").arg(language)))
        return false;
    QCoreApplication::installTranslator(&translator);
    return true;
}

}  // namespace kv306
