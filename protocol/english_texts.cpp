#include "protocol/english_texts.h"

#include <QCoreApplication>
#include <QTranslator>

#include <mutex>

namespace kv306 {

namespace {

thread_local int englishHere = 0;

// Answers only on a thread that asked for English, and leaves every other thread to the
// translators installed before it.
class ThreadLanguage : public QTranslator {
public:
    explicit ThreadLanguage(QObject *parent) : QTranslator(parent)
    {
        (void)english_.load(QStringLiteral(":/i18n/kv306_en.qm"));
    }
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        return englishHere > 0 ? english_.translate(context, source, disambiguation, n) : QString();
    }

private:
    QTranslator english_;
};

}  // namespace

EnglishTexts::EnglishTexts()
{
    ++englishHere;
}

EnglishTexts::~EnglishTexts()
{
    --englishHere;
}

void EnglishTexts::Prepare()
{
    if (!QCoreApplication::instance())
        return;
    static std::once_flag once;
    // Owned by the application, and gone with it.
    std::call_once(
        once, [] { QCoreApplication::installTranslator(new ThreadLanguage(QCoreApplication::instance())); });
}

}  // namespace kv306
