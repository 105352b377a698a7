#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace kv306 {

constexpr int kParamCount = 6;
// The six values in wire order, each a position in its parameter's list.
using Params = std::array<int, kParamCount>;

// The six parameters by name, in wire order (parameter k is byte 5 + k of a parameter frame and
// byte k of the unit's parameter reply).
enum class ParamId { Horizontal, Vertical, Size, Standard, Roundness, Outside };
constexpr int IndexOf(ParamId id)
{
    return static_cast<int>(id);
}
// The parameters the unit steps by one: the offsets and the circle size.
constexpr bool Steps(ParamId id)
{
    return IndexOf(id) <= IndexOf(ParamId::Size);
}
// A step raises the value by one (up) or lowers it (down).
enum class StepWay { Up, Down };
// What a toggle switches: the whole overlay, or only its crosshair.
enum class ToggleTarget { Overlay, Crosshair };
// The two video standards, positions of the standard's list.
enum class Standard { Pal, Ntsc };

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
    // What choosing a video standard puts in this list, for PAL and for NTSC; -1 for a list the
    // choice leaves alone.
    std::array<int, 2> preset;
};

inline constexpr std::array<ParamSpec, kParamCount> kParams{{
    {"horizontal", QT_TRANSLATE_NOOP("Tx", "水平偏移"), 64, {}, {}, {22, 17}},
    {"vertical", QT_TRANSLATE_NOOP("Tx", "垂直偏移"), 64, {}, {}, {20, 16}},
    {"size", QT_TRANSLATE_NOOP("Tx", "圆大小"), 52, {}, {}, {25, 25}},
    {"standard", QT_TRANSLATE_NOOP("Tx", "视频制式"), 2, {"PAL", "NTSC"}, {"PAL", "NTSC"}, {-1, -1}},
    {"roundness", QT_TRANSLATE_NOOP("Tx", "圆度"), 4, {}, {}, {3, 1}},
    {"outside",
     QT_TRANSLATE_NOOP("Tx", "最大圆外十字线"),
     2,
     {"keep", "remove"},
     {QT_TRANSLATE_NOOP("Tx", "保留"), QT_TRANSLATE_NOOP("Tx", "去除")},
     {-1, -1}},
}};

inline const ParamSpec &Param(int k)
{
    return kParams[static_cast<std::size_t>(k)];
}
inline const ParamSpec &Param(ParamId id)
{
    return Param(IndexOf(id));
}
// The value a step moves towards and stops at: the list's last entry going up, 0 going down.
inline int StepLimit(ParamId id, StepWay way)
{
    return way == StepWay::Up ? Param(id).entries - 1 : 0;
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
