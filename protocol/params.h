#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace kv306 {

constexpr int kParamCount = 6;
// The six values in wire order, each a position in its parameter's list.
using Params = std::array<int, kParamCount>;

// One of the six parameters. They are listed in wire order: parameter k is byte 5 + k of a
// parameter frame and byte k of the unit's parameter reply.
struct ParamSpec {
    const char *key;      // on the command line and in profiles: "horizontal"
    const char *caption;  // in the window's messages and the traffic log: "水平偏移" (translated)
    int entries;          // the values 0 to entries - 1
    // For a parameter whose values are named rather than numbered: the names in profiles and on
    // the command line, and the names the window shows (translated). Empty for a number.
    std::array<const char *, 2> words;
    std::array<const char *, 2> shown;
};

inline constexpr std::array<ParamSpec, kParamCount> kParams{{
    {"horizontal", QT_TRANSLATE_NOOP("Tx", "水平偏移"), 64, {}, {}},
    {"vertical", QT_TRANSLATE_NOOP("Tx", "垂直偏移"), 64, {}, {}},
    {"size", QT_TRANSLATE_NOOP("Tx", "圆大小"), 52, {}, {}},
    {"standard", QT_TRANSLATE_NOOP("Tx", "视频制式"), 2, {"PAL", "NTSC"}, {"PAL", "NTSC"}},
    {"roundness", QT_TRANSLATE_NOOP("Tx", "圆度"), 4, {}, {}},
    {"outside",
     QT_TRANSLATE_NOOP("Tx", "最大圆外十字线"),
     2,
     {"keep", "remove"},
     {QT_TRANSLATE_NOOP("Tx", "保留"), QT_TRANSLATE_NOOP("Tx", "去除")}},
}};

inline const ParamSpec &Param(int k)
{
    return kParams[static_cast<std::size_t>(k)];
}
// Whether parameter k's values are named ("PAL") rather than numbered.
inline bool IsNamed(int k)
{
    return Param(k).words[0] != nullptr;
}
// Whether `value` has an entry in parameter k's list.
inline bool InRange(int k, int value)
{
    return value >= 0 && value < Param(k).entries;
}

// Parameter k's name in the window's messages ("水平偏移", in the window's language).
QString ParamCaption(int k);
// The entries of parameter k's list as the window shows them ("0" ... "63", "保留" "去除").
QStringList ParamEntries(int k);
// One value as the window shows it; a number for a value without an entry.
QString ParamShown(int k, int value);
// "22 20 25 PAL 3 保留"
QString ParamsInWords(const Params &params);

}  // namespace kv306
