#include "protocol/params.h"

#include "link/texts.h"

namespace kv306 {

QString ParamCaption(int k)
{
    return Tx::tr(Param(k).caption);
}

QStringList ParamEntries(int k)
{
    QStringList entries;
    for (int value = 0; value < Param(k).entries; ++value)
        entries << ParamShown(k, value);
    return entries;
}

QString ParamShown(int k, int value)
{
    if (!IsNamed(k) || !InRange(k, value))
        return QString::number(value);
    return Tx::tr(Param(k).shown[static_cast<std::size_t>(value)]);
}

QString ParamsInWords(const Params &params)
{
    QStringList words;
    for (int k = 0; k < kParamCount; ++k)
        words << ParamShown(k, params[static_cast<std::size_t>(k)]);
    return words.join(QLatin1Char(' '));
}

}  // namespace kv306
