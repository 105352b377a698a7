#pragma once

#include "protocol/frames.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

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
// `named` marks which. On a bad word the result names it and nothing is changed.
struct Assignments {
    Params params{};
    std::array<bool, kParamCount> named{};
    QString error;  // empty when every word was good
};
Assignments ParseAssignments(const QStringList &words, const Params &start = {});

// A profile: {"format": "kv306-profile", "version": 1, and the six keys}. Reading is strict.
inline constexpr qint64 kProfileMaxBytes = 64 * 1024;
struct Profile {
    std::optional<Params> params;
    QString error;  // why the file is refused
};
Profile ParseProfile(const QByteArray &content);
Profile ReadProfile(const QString &path);
QByteArray ProfileJson(const Params &params);
// Written aside and renamed into place; false with `error` set when it cannot be.
bool WriteProfile(const QString &path, const Params &params, QString *error);

}  // namespace kv306
