#include "protocol/outcome_text.h"

#include "link/comm_error.h"
#include "link/texts.h"
#include "protocol/station_report.h"

namespace kv306 {

std::vector<int> Differing(const Params &a, const Params &b)
{
    std::vector<int> differ;
    for (int k = 0; k < kParamCount; ++k) {
        if (a[static_cast<std::size_t>(k)] != b[static_cast<std::size_t>(k)])
            differ.push_back(k);
    }
    return differ;
}

namespace {

// Each reason once. Their tokens are what reports hold: never change one, add a row.
struct ReasonRow {
    const char *token;
    const char *words;
    int exitCode;
};
constexpr int kUnitFailed = 1;
constexpr int kPortError = 3;
constexpr ReasonRow kReasons[] = {
    {"verify-mismatch", "verify mismatch", kUnitFailed},
    {"no-reply", "no reply", kUnitFailed},
    {"wrong-reply-length", "wrong reply length", kUnitFailed},
    {"bad-reply", "bad reply", kUnitFailed},
    {"bad-check-byte", "bad check byte", kUnitFailed},
    {"unequal-echo", "unequal echo", kUnitFailed},
    {"value-out-of-range", "value out of range", kUnitFailed},
    {"interrupted", "interrupted", kUnitFailed},
    {"error", "error", kPortError},  // with the error's number
};

const ReasonRow &Row(const char *token)
{
    for (const ReasonRow &row : kReasons) {
        if (qstrcmp(row.token, token) == 0)
            return row;
    }
    Q_UNREACHABLE();
}

QString CountOfBytes(qint64 n)
{
    return CountOf(n, "byte", "bytes");
}

QString FailureOnly(const Outcome &o)
{
    const Traffic *last = o.traffic.empty() ? nullptr : &o.traffic.back();
    const QString got = last ? HexWords(last->received) : QString();
    switch (o.failure) {
    case Failure::None: return {};
    case Failure::Port: {
        // A box's message may run over lines; a terminal's error is one line.
        QString text = o.errorText;
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return QStringLiteral("error %1: %2 (%3)").arg(o.errorNumber).arg(text, o.reason);
    }
    case Failure::NoReply: {
        const int expected = last ? last->expected : 0;
        if (last && last->seen > 0)
            return QStringLiteral("the unit sent %1 where %2 %3 expected")
                .arg(CountOfBytes(last->seen), CountOfBytes(expected), expected == 1 ? "was" : "were");
        return QStringLiteral("no reply within %1 ms (%2 expected)")
            .arg(UnitCore::kReplyTimeoutMs)
            .arg(CountOfBytes(expected));
    }
    case Failure::BadAck: return QStringLiteral("bad reply %1 to a parameter write (expected 99)").arg(got);
    case Failure::BadCheck: return QStringLiteral("bad check byte in reply %1").arg(got);
    case Failure::BadEcho: return QStringLiteral("unequal echo %1").arg(got);
    case Failure::OutOfRange: return QStringLiteral("value out of range in reply %1").arg(got);
    case Failure::Mismatch: {
        QStringList diffs;
        for (const int k : Differing(o.written, o.values)) {
            const auto i = static_cast<std::size_t>(k);
            diffs << QStringLiteral("%1 wrote %2, unit holds %3")
                         .arg(QLatin1String(Param(k).key))
                         .arg(o.written[i])
                         .arg(o.values[i]);
        }
        return QStringLiteral("verify mismatch: ") + diffs.join(QStringLiteral("; "));
    }
    }
    return {};
}

}  // namespace

Verdict VerdictOf(const Outcome &o)
{
    if (o.unverified)
        return Verdict::Interrupted;
    if (o.Ok())
        return Verdict::Pass;
    return o.failure == Failure::Port ? Verdict::Error : Verdict::Fail;
}

QString VerdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass: return QStringLiteral("pass");
    case Verdict::Fail: return QStringLiteral("fail");
    case Verdict::Error: return QStringLiteral("error");
    case Verdict::Interrupted: return QStringLiteral("interrupted");
    }
    return {};
}

std::optional<Reason> ReasonOf(const Outcome &o)
{
    const char *token = nullptr;
    if (o.unverified) {
        token = "interrupted";
    } else {
        switch (o.failure) {
        case Failure::None: return std::nullopt;
        case Failure::Port: {
            const ReasonRow &row = Row("error");
            return Reason{QStringLiteral("%1-%2").arg(QLatin1String(row.token)).arg(o.errorNumber),
                          QStringLiteral("%1 %2").arg(QLatin1String(row.words)).arg(o.errorNumber),
                          row.exitCode};
        }
        case Failure::NoReply:
            token = !o.traffic.empty() && o.traffic.back().seen > 0 ? "wrong-reply-length" : "no-reply";
            break;
        case Failure::BadAck: token = "bad-reply"; break;
        case Failure::BadCheck: token = "bad-check-byte"; break;
        case Failure::BadEcho: token = "unequal-echo"; break;
        case Failure::OutOfRange: token = "value-out-of-range"; break;
        case Failure::Mismatch: token = "verify-mismatch"; break;
        }
    }
    const ReasonRow &row = Row(token);
    return Reason{QLatin1String(row.token), QLatin1String(row.words), row.exitCode};
}

QString ReasonWords(const QString &token)
{
    for (const ReasonRow &row : kReasons) {
        if (token == QLatin1String(row.token))
            return QLatin1String(row.words);
    }
    // "error-8002": the error's words with its number.
    const QString error = QLatin1String(Row("error").token) + QLatin1Char('-');
    if (token.startsWith(error))
        return QLatin1String(Row("error").words) + QLatin1Char(' ') + token.mid(error.size());
    return token;
}

QString CountOf(qint64 n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString UnitCounts(int units, int pass, int fail, int error)
{
    return QStringLiteral("%1: %2 pass, %3 fail, %4 error")
        .arg(CountOf(units, "unit", "units"))
        .arg(pass)
        .arg(fail)
        .arg(error);
}

QString FailureText(const Outcome &o)
{
    if (o.Ok())
        return {};
    return o.acknowledged ? QStringLiteral("written, check failed: ") + FailureOnly(o) : FailureOnly(o);
}

QString ProfileDifferences(const Params &holds, const Params &profile)
{
    QStringList differences;
    for (const int k : Differing(holds, profile)) {
        const auto i = static_cast<std::size_t>(k);
        differences << QStringLiteral("%1 %2 (profile %3)")
                           .arg(QLatin1String(Param(k).key), ParamValueText(k, holds[i]),
                                ParamValueText(k, profile[i]));
    }
    return differences.join(QStringLiteral(", "));
}

QString PortFailureWords(const Outcome &o)
{
    return Tx::tr("错误 %1 %2").arg(o.errorNumber).arg(QString(o.errorText).replace('\n', ' '));
}

QString ArrivalWords(const Traffic &t)
{
    if (!t.received.empty() || t.seen <= 0)
        return {};
    return Tx::tr("收到 %1 个字节，应为 %2 个").arg(t.seen).arg(t.expected);
}

QString ArrivalWords(const Outcome &o)
{
    return o.failure == Failure::NoReply && !o.traffic.empty() ? ArrivalWords(o.traffic.back()) : QString();
}

QStringList WrittenAndHeld(const Params &written, const Params &holds)
{
    QStringList lines;
    for (const int k : Differing(written, holds)) {
        const auto i = static_cast<std::size_t>(k);
        lines << Tx::tr("%1：写入 %2，设备为 %3")
                     .arg(ParamCaption(k), ParamShown(k, written[i]), ParamShown(k, holds[i]));
    }
    return lines;
}

QString RowReasonWords(const StationRow &row, const ParamNamer &caption)
{
    const Outcome &o = row.detail;
    switch (row.kind) {
    case StationRow::Kind::Pass: return {};
    case StationRow::Kind::Interrupted: return Tx::tr("已写入，未校验（已停止）");
    case StationRow::Kind::Error: {
        // In the window's words: the row's own text is the report's, in English.
        const QString words = Tx::tr("错误 %1 %2").arg(o.errorNumber).arg(CommErrorText(o.errorNumber));
        return o.acknowledged ? Tx::tr("已写入，校验失败：%1").arg(words) : words;
    }
    case StationRow::Kind::Fail: break;
    }
    if (o.failure == Failure::Mismatch) {
        QStringList differ;
        for (const int k : Differing(o.values, o.written)) {
            const auto i = static_cast<std::size_t>(k);
            differ << Tx::tr("%1为 %2，应为 %3")
                          .arg(caption(k), ParamShown(k, o.values[i]), ParamShown(k, o.written[i]));
        }
        return Tx::tr("已写入，校验不符：%1").arg(differ.join(Tx::tr("；")));
    }
    QString why = o.failure == Failure::NoReply ? Tx::tr("设备无应答") : Tx::tr("设备应答有误");
    const QString came = ArrivalWords(o);
    if (!came.isEmpty())
        why += Tx::tr("（%1）").arg(came);
    return o.acknowledged ? Tx::tr("已写入，校验失败：%1").arg(why) : why;
}

}  // namespace kv306
