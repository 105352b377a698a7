#pragma once

#include "protocol/params_text.h"
#include "protocol/unit_core.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kv306 {

struct StationRow;

// One place says what happened: the words of outcomes, for the window (its language) and for
// kv306ctl and the station's report (English, one line). The boxes' own texts ("通信错误！",
// "OK！") are the window's (panel/unit_actions.cpp).

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
