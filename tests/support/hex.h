#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace kv306::test {

// "55 D0 A3": bytes as the unit's documentation writes them.
inline QByteArray Hex(const std::vector<std::uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()))
        .toHex(' ')
        .toUpper();
}

}  // namespace kv306::test
