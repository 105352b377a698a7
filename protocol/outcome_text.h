#pragma once

#include "protocol/params_text.h"
#include "protocol/unit_core.h"

#include <QString>
#include <QStringList>

#include <optional>

#include <vector>

namespace kv306 {

struct StationRow;

// One place says what happened: the words of outcomes, for the window (its language) and for
// kv306ctl and the station's report (English, one line). The boxes' own texts ("通信错误！",
// "OK！") are the window's (panel/unit_actions.cpp).

// --- What an outcome is ------------------------------------------------------------------------

// A unit's set-up or exchange, judged: passed; failed (the unit answered wrongly or not at
// all); an error (the port); written and then stopped before its check.
enum class Verdict { Pass, Fail, Error, Interrupted };
Verdict VerdictOf(const Outcome &outcome);
// "pass", "fail", "error", "interrupted": the report's and JSON's word.
QString VerdictWord(Verdict verdict);

// Why an outcome is no success, from the one table of reasons: a stable token (the report's
// `reason` column), the few words the figures count it under, and kv306ctl's exit code (1 for
// the unit, 3 for the port). A port error's token and words carry its number ("error-8002",
// "error 8002").
struct Reason {
    QString token;
    QString words;
    int exitCode = 0;
};
// Nothing for a success.
std::optional<Reason> ReasonOf(const Outcome &outcome);
// The words of a reason's token as a report holds it; the token itself when the table has none.
QString ReasonWords(const QString &token);

// "3 units: 2 pass, 1 fail, 0 error": a count of units in English, one unit or more.
QString UnitCounts(int units, int pass, int fail, int error);
// "1 unit", "3 units"; "1 byte", "7 bytes".
QString CountOf(qint64 n, const char *one, const char *many);

// The parameters, in wire order, whose values differ between `a` and `b`.
std::vector<int> Differing(const Params &a, const Params &b);

// --- English, one line -------------------------------------------------------------------------

// "no reply within 1000 ms (1 byte expected)", "error 8002: This port does not exist! (...)",
// "verify mismatch: size wrote 30, unit holds 29". A write the unit acknowledged and whose check
// then failed begins "written, check failed: ".
QString FailureText(const Outcome &outcome);
// What a read differs in from a profile: "size 25 (profile 30), outside keep (profile remove)".
QString ProfileDifferences(const Params &holds, const Params &profile);

// --- The window's words -----------------------------------------------------------------------

// A port failure in a few words: "错误 8002 该串口不存在！" (one line).
QString PortFailureWords(const Outcome &outcome);
// What came of a reply that was not whole, when anything came: "收到 3 个字节，应为 7 个" (a
// partial reply, one too long, a flood); empty when nothing came or the reply was whole.
QString ArrivalWords(const Outcome &outcome);
QString ArrivalWords(const Traffic &traffic);
// A save's check that found other values: "水平偏移：写入 22，设备为 21", a line a parameter.
QStringList WrittenAndHeld(const Params &written, const Params &holds);
// A station row's reason ("已写入，校验不符：圆大小调整为 29，应为 30"); `caption` names a list as
// the window's labels do. Empty for a pass.
QString RowReasonWords(const StationRow &row, const ParamNamer &caption);

}  // namespace kv306
