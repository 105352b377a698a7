#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace kv306 {

// The window's language: "en" when KV306_LANG is "en", or when it is unset and the user's locale
// (LC_ALL, LC_MESSAGES, LANG, as QLocale reads them) speaks English; "zh" in every other case,
// the C and POSIX locales included.
QString LanguageFor(const QByteArray &kv306Lang, const QLocale &locale);
QString ChosenLanguage();

// Installs the translation built into the program for `language` ("zh" needs none: the texts
// are Chinese in the code). False when there is no such translation.
bool UseLanguage(const QString &language);

}  // namespace kv306
