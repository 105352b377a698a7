#pragma once

#include "link/checked.h"
#include "protocol/frames.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kv306 {

// The six parameters as words, for the command line and profiles:
//   horizontal 0-63, vertical 0-63, size 0-51, standard PAL|NTSC, roundness 0-3, outside keep|remove.

// The position of a key in wire order, or -1.
int ParamKeyIndex(const QString &key);
// The value of parameter k given as text ("22", "PAL", "keep"), or nothing when out of range.
std::optional<int> ParamValueOf(int k, const QString &text);
// The value as its word ("22", "PAL", "keep").
QString ParamValueText(int k, int value);

// "horizontal=22 vertical=20 size=25 standard=PAL roundness=3 outside=keep"
QString FormatParams(const Params &params);
// {"horizontal": 22, ..., "standard": "PAL", ..., "outside": "keep"}
QJsonObject ParamsJson(const Params &params);

// KEY=VALUE words, each key at most once. Values are set in `params` only for the keys named;
// `named` marks which. A bad word refuses them all, naming it.
struct Assignments {
    Params params{};
    std::array<bool, kParamCount> named{};
};
Checked<Assignments> ParseAssignments(const QStringList &words, const Params &start = {});

// A profile: {"format": "kv306-profile", "version": 1, and the six keys}. Reading is strict: a
// number is written as a whole number (22, never 22.0 or 2.2e1), and the file holds text only.
// A refusal names parameter k through `name` (by default its key in quotes, "\"size\"": the
// window names the list it fills).
inline constexpr qint64 kProfileMaxBytes = 64 * 1024;
using ParamNamer = std::function<QString(int k)>;
Checked<Params> ParseProfile(const QByteArray &content, const ParamNamer &name = {});
Checked<Params> ReadProfile(const QString &path, const ParamNamer &name = {});
QByteArray ProfileJson(const Params &params);

}  // namespace kv306
