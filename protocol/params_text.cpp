#include "protocol/params_text.h"

#include "protocol/unit_core.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <cmath>

namespace kv306 {

namespace {

// The words of the two lists that are not numbers, in list order.
const std::array<QStringList, kParamCount> &Words()
{
    static const std::array<QStringList, kParamCount> words{
        QStringList{}, QStringList{},
        QStringList{}, QStringList{QStringLiteral("PAL"), QStringLiteral("NTSC")},
        QStringList{}, QStringList{QStringLiteral("keep"), QStringLiteral("remove")}};
    return words;
}

QString Range(int k)
{
    const QStringList &words = Words()[static_cast<std::size_t>(k)];
    return words.isEmpty() ? QStringLiteral("0-%1").arg(kParamEntries[static_cast<std::size_t>(k)] - 1)
                           : words.join(QLatin1Char('|'));
}

const QString kFormat = QStringLiteral("kv306-profile");

}  // namespace

int ParamKeyIndex(const QString &key)
{
    for (int k = 0; k < kParamCount; ++k) {
        if (key == QLatin1String(kParamKeys[static_cast<std::size_t>(k)]))
            return k;
    }
    return -1;
}

std::optional<int> ParamValueOf(int k, const QString &text)
{
    const QStringList &words = Words()[static_cast<std::size_t>(k)];
    if (!words.isEmpty()) {
        const auto at = words.indexOf(text);
        return at < 0 ? std::nullopt : std::optional<int>(static_cast<int>(at));
    }
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    }
    const int value = text.toInt();
    if (value >= kParamEntries[static_cast<std::size_t>(k)])
        return std::nullopt;
    return value;
}

QString ParamValueText(int k, int value)
{
    const QStringList &words = Words()[static_cast<std::size_t>(k)];
    return words.isEmpty() ? QString::number(value) : words.value(value, QString::number(value));
}

QString FormatParams(const Params &params)
{
    QStringList parts;
    for (int k = 0; k < kParamCount; ++k)
        parts << QLatin1String(kParamKeys[static_cast<std::size_t>(k)]) + QLatin1Char('=') +
                     ParamValueText(k, params[static_cast<std::size_t>(k)]);
    return parts.join(QLatin1Char(' '));
}

QJsonObject ParamsJson(const Params &params)
{
    QJsonObject o;
    for (int k = 0; k < kParamCount; ++k) {
        const int v = params[static_cast<std::size_t>(k)];
        const QString key = QLatin1String(kParamKeys[static_cast<std::size_t>(k)]);
        if (Words()[static_cast<std::size_t>(k)].isEmpty())
            o.insert(key, v);
        else
            o.insert(key, ParamValueText(k, v));
    }
    return o;
}

Assignments ParseAssignments(const QStringList &words, const Params &start)
{
    Assignments a;
    a.params = start;
    for (const QString &word : words) {
        const auto eq = word.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? word : word.left(eq);
        const int k = ParamKeyIndex(key);
        if (k < 0) {
            a.error =
                QStringLiteral("unknown key '%1' (keys: horizontal vertical size standard roundness outside)")
                    .arg(key);
            return Assignments{start, {}, a.error};
        }
        if (eq < 0) {
            a.error = QStringLiteral("'%1' needs a value: %1=VALUE").arg(key);
            return Assignments{start, {}, a.error};
        }
        const auto ku = static_cast<std::size_t>(k);
        if (a.named[ku]) {
            a.error = QStringLiteral("'%1' given twice").arg(key);
            return Assignments{start, {}, a.error};
        }
        const std::optional<int> value = ParamValueOf(k, word.mid(eq + 1));
        if (!value) {
            a.error = QStringLiteral("%1=%2 is out of range (%3)").arg(key, word.mid(eq + 1), Range(k));
            return Assignments{start, {}, a.error};
        }
        a.params[ku] = *value;
        a.named[ku] = true;
    }
    return a;
}

namespace {

// The first key that the top-level object of well-formed JSON names twice (JSON parsers keep
// one of them silently), or nothing.
std::optional<QString> DuplicateKey(const QByteArray &json)
{
    QSet<QString> keys;
    int depth = 0;
    bool expectKey = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < json.size() && json[end] != '"')
                end += json[end] == '\\' ? 2 : 1;
            if (depth == 1 && expectKey) {
                // The key as JSON reads it, escapes undone.
                const QString key =
                    QJsonDocument::fromJson('[' + json.mid(i, end - i + 1) + ']').array().at(0).toString();
                if (keys.contains(key))
                    return key;
                keys.insert(key);
                expectKey = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            ++depth;
            expectKey = depth == 1 && c == '{';
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',' && depth == 1) {
            expectKey = true;
        }
    }
    return std::nullopt;
}

}  // namespace

Profile ParseProfile(const QByteArray &content)
{
    auto refuse = [](const QString &why) { return Profile{std::nullopt, why}; };
    if (content.size() > kProfileMaxBytes)
        return refuse(QStringLiteral("larger than %1 KiB").arg(kProfileMaxBytes / 1024));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(utf8(content));
    if (utf8.hasError())
        return refuse(QStringLiteral("not UTF-8 text"));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(
            QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
    if (!doc.isObject())
        return refuse(QStringLiteral("not a JSON object"));
    if (const std::optional<QString> twice = DuplicateKey(content))
        return refuse(QStringLiteral("key \"%1\" given twice").arg(*twice));
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")) != QJsonValue(kFormat))
        return refuse(QStringLiteral("\"format\" is not \"%1\"").arg(kFormat));
    if (o.value(QStringLiteral("version")) != QJsonValue(1))
        return refuse(QStringLiteral("\"version\" is not 1"));
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() != QLatin1String("format") && it.key() != QLatin1String("version") &&
            ParamKeyIndex(it.key()) < 0)
            return refuse(QStringLiteral("unknown key \"%1\"").arg(it.key()));
    }
    Params params{};
    for (int k = 0; k < kParamCount; ++k) {
        const QString key = QLatin1String(kParamKeys[static_cast<std::size_t>(k)]);
        if (!o.contains(key))
            return refuse(QStringLiteral("missing key \"%1\"").arg(key));
        const QJsonValue v = o.value(key);
        const bool word = !Words()[static_cast<std::size_t>(k)].isEmpty();
        std::optional<int> value;
        if (word) {
            if (!v.isString())
                return refuse(QStringLiteral("\"%1\" must be a string (%2)").arg(key, Range(k)));
            value = ParamValueOf(k, v.toString());
        } else {
            const double d = v.toDouble(-1);
            if (!v.isDouble() || d != std::floor(d))
                return refuse(QStringLiteral("\"%1\" must be a whole number (%2)").arg(key, Range(k)));
            if (d >= 0 && d < kParamEntries[static_cast<std::size_t>(k)])
                value = static_cast<int>(d);
        }
        if (!value)
            return refuse(QStringLiteral("\"%1\" is out of range (%2)").arg(key, Range(k)));
        params[static_cast<std::size_t>(k)] = *value;
    }
    return Profile{params, {}};
}

Profile ReadProfile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Profile{std::nullopt, QStringLiteral("no such file")};
    if (!info.isFile())
        return Profile{std::nullopt, QStringLiteral("not a plain file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Profile{std::nullopt, file.errorString()};
    // One byte more than allowed tells a file that is too large without reading it whole.
    return ParseProfile(file.read(kProfileMaxBytes + 1));
}

QByteArray ProfileJson(const Params &params)
{
    QJsonObject o = ParamsJson(params);
    o.insert(QStringLiteral("format"), kFormat);
    o.insert(QStringLiteral("version"), 1);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool WriteProfile(const QString &path, const Params &params, QString *error)
{
    QSaveFile file(path);
    const QByteArray content = ProfileJson(params);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace kv306
