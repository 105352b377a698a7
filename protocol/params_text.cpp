#include "protocol/params_text.h"

#include "link/texts.h"
#include "protocol/unit_core.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringDecoder>

#include <cmath>

namespace kv306 {

namespace {

// "0-63", "PAL|NTSC"
QString Range(int k)
{
    if (!IsNamed(k))
        return QStringLiteral("0-%1").arg(Param(k).entries - 1);
    return QLatin1String(Param(k).words[0]) + QLatin1Char('|') + QLatin1String(Param(k).words[1]);
}

const QString kFormat = QStringLiteral("kv306-profile");

}  // namespace

int ParamKeyIndex(const QString &key)
{
    for (int k = 0; k < kParamCount; ++k) {
        if (key == QLatin1String(Param(k).key))
            return k;
    }
    return -1;
}

std::optional<int> ParamValueOf(int k, const QString &text)
{
    if (IsNamed(k)) {
        for (int value = 0; value < Param(k).entries; ++value) {
            if (text == QLatin1String(Param(k).words[static_cast<std::size_t>(value)]))
                return value;
        }
        return std::nullopt;
    }
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    }
    const int value = text.toInt();
    return InRange(k, value) ? std::optional<int>(value) : std::nullopt;
}

QString ParamValueText(int k, int value)
{
    if (!IsNamed(k) || !InRange(k, value))
        return QString::number(value);
    return QLatin1String(Param(k).words[static_cast<std::size_t>(value)]);
}

QString FormatParams(const Params &params)
{
    QStringList parts;
    for (int k = 0; k < kParamCount; ++k)
        parts << QLatin1String(Param(k).key) + QLatin1Char('=') +
                     ParamValueText(k, params[static_cast<std::size_t>(k)]);
    return parts.join(QLatin1Char(' '));
}

QJsonObject ParamsJson(const Params &params)
{
    QJsonObject o;
    for (int k = 0; k < kParamCount; ++k) {
        const int v = params[static_cast<std::size_t>(k)];
        const QString key = QLatin1String(Param(k).key);
        if (!IsNamed(k))
            o.insert(key, v);
        else
            o.insert(key, ParamValueText(k, v));
    }
    return o;
}

Checked<Assignments> ParseAssignments(const QStringList &words, const Params &start)
{
    using Refused = Checked<Assignments>;
    Assignments a;
    a.params = start;
    for (const QString &word : words) {
        const auto eq = word.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? word : word.left(eq);
        const int k = ParamKeyIndex(key);
        if (k < 0)
            return Refused::Refused(
                QStringLiteral("unknown key '%1' (keys: horizontal vertical size standard roundness outside)")
                    .arg(key));
        if (eq < 0)
            return Refused::Refused(QStringLiteral("'%1' needs a value: %1=VALUE").arg(key));
        const auto ku = static_cast<std::size_t>(k);
        if (a.named[ku])
            return Refused::Refused(QStringLiteral("'%1' given twice").arg(key));
        const std::optional<int> value = ParamValueOf(k, word.mid(eq + 1));
        if (!value)
            return Refused::Refused(
                QStringLiteral("%1=%2 is out of range (%3)").arg(key, word.mid(eq + 1), Range(k)));
        a.params[ku] = *value;
        a.named[ku] = true;
    }
    return a;
}

namespace {

// The members of the top-level object of well-formed JSON, in order, each with the text its
// value is written as (JSON parsers keep one of two equal keys silently, and read 22.0 as 22).
struct Member {
    QString key;
    QByteArray spelled;  // a string, number, true, false or null as written; empty for an object or array
};

QList<Member> TopLevelMembers(const QByteArray &json)
{
    QList<Member> members;
    int depth = 0;
    bool expectKey = false;
    qsizetype valueStart = -1;  // where the value of the last key begins
    const auto endValue = [&](qsizetype end) {
        if (valueStart >= 0 && !members.isEmpty())
            members.back().spelled = json.mid(valueStart, end - valueStart).trimmed();
        valueStart = -1;
    };
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < json.size() && json[end] != '"')
                end += json[end] == '\\' ? 2 : 1;
            if (depth == 1 && expectKey) {
                // The key as JSON reads it, escapes undone.
                members.push_back(
                    {QJsonDocument::fromJson('[' + json.mid(i, end - i + 1) + ']').array().at(0).toString(),
                     {}});
                expectKey = false;
            }
            i = end;
        } else if (c == ':' && depth == 1) {
            valueStart = i + 1;
        } else if (c == '{' || c == '[') {
            if (depth == 1)
                valueStart = -1;  // a nested value: not spelled
            ++depth;
            expectKey = depth == 1 && c == '{';
        } else if (c == '}' || c == ']') {
            if (depth == 1)
                endValue(i);
            --depth;
        } else if (c == ',' && depth == 1) {
            endValue(i);
            expectKey = true;
        }
    }
    return members;
}

// A number written with a fraction or an exponent ("22.0", "2.2e1").
bool SpelledAsFraction(const QByteArray &spelled)
{
    return !spelled.startsWith('"') &&
           (spelled.contains('.') || spelled.contains('e') || spelled.contains('E'));
}

}  // namespace

Checked<Params> ParseProfile(const QByteArray &content, const ParamNamer &name)
{
    const auto refuse = &Checked<Params>::Refused;
    const auto named = [&name](int k) {
        return name ? name(k) : QLatin1Char('"') + QLatin1String(Param(k).key) + QLatin1Char('"');
    };
    if (content.size() > kProfileMaxBytes)
        return refuse(Tx::tr("文件大于 %1 KiB").arg(kProfileMaxBytes / 1024));
    if (content.contains('\0'))
        return refuse(Tx::tr("文件中有 NUL 字节，不是文本"));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(utf8(content));
    if (utf8.hasError())
        return refuse(Tx::tr("不是 UTF-8 文本"));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(
            Tx::tr("不是 JSON：%1（位置 %2）").arg(parseError.errorString()).arg(parseError.offset));
    if (!doc.isObject())
        return refuse(Tx::tr("不是 JSON 对象"));
    const QList<Member> members = TopLevelMembers(content);
    QHash<QString, QByteArray> spelled;
    for (const Member &m : members) {
        if (spelled.contains(m.key))
            return refuse(Tx::tr("键 \"%1\" 出现了两次").arg(m.key));
        spelled.insert(m.key, m.spelled);
    }
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")) != QJsonValue(kFormat))
        return refuse(Tx::tr("\"format\" 不是 \"%1\"").arg(kFormat));
    if (o.value(QStringLiteral("version")) != QJsonValue(1) ||
        SpelledAsFraction(spelled.value(QStringLiteral("version"))))
        return refuse(Tx::tr("\"version\" 不是 1"));
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() != QLatin1String("format") && it.key() != QLatin1String("version") &&
            ParamKeyIndex(it.key()) < 0)
            return refuse(Tx::tr("未知的键 \"%1\"").arg(it.key()));
    }
    Params params{};
    for (int k = 0; k < kParamCount; ++k) {
        const QString key = QLatin1String(Param(k).key);
        if (!o.contains(key))
            return refuse(Tx::tr("缺少键 %1").arg(named(k)));
        const QJsonValue v = o.value(key);
        std::optional<int> value;
        if (IsNamed(k)) {
            if (!v.isString())
                return refuse(Tx::tr("%1 必须是字符串（%2）").arg(named(k), Range(k)));
            value = ParamValueOf(k, v.toString());
        } else {
            const double d = v.toDouble(-1);
            if (!v.isDouble() || d != std::floor(d) || SpelledAsFraction(spelled.value(key)))
                return refuse(Tx::tr("%1 必须是整数（%2）").arg(named(k), Range(k)));
            if (d >= 0 && d < Param(k).entries)
                value = static_cast<int>(d);
        }
        if (!value)
            return refuse(Tx::tr("%1 超出范围（%2）").arg(named(k), Range(k)));
        params[static_cast<std::size_t>(k)] = *value;
    }
    return params;
}

Checked<Params> ReadProfile(const QString &path, const ParamNamer &name)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Checked<Params>::Refused(Tx::tr("文件不存在"));
    if (!info.isFile())
        return Checked<Params>::Refused(Tx::tr("不是普通文件"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Checked<Params>::Refused(file.errorString());
    // One byte more than allowed tells a file that is too large without reading it whole.
    return ParseProfile(file.read(kProfileMaxBytes + 1), name);
}

QByteArray ProfileJson(const Params &params)
{
    QJsonObject o = ParamsJson(params);
    o.insert(QStringLiteral("format"), kFormat);
    o.insert(QStringLiteral("version"), 1);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

}  // namespace kv306
