#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace kv306 {

// The window's language: KV306_LANG ("zh" or "en") when it is set; otherwise by the user's locale
// (LC_ALL, LC_MESSAGES, LANG, as QLocale reads them): "zh" for Chinese and for the C and POSIX
// locales, "en" for every other language.
QString LanguageFor(const QByteArray &kv306Lang, const QLocale &locale);
QString ChosenLanguage();

// Installs the translation built into the program for `language` ("zh" needs none of ours: the
// texts are Chinese in the code, and Qt's own Chinese texts are loaded where the system has
// them). False when there is no such translation.
bool UseLanguage(const QString &language);

}  // namespace kv306
