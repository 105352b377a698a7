#include "link/comm_error.h"

#include "link/texts.h"

#include <array>
#include <utility>

namespace kv306 {

namespace {

struct Row {
    int number;
    const char *text;
};

// The serial control's numbers (8000-8020, 8017 has none), a few of the runtime's, and the
// secure connection's of a +tls port (8030).
constexpr std::array kMessages{
    Row{1, QT_TRANSLATE_NOOP("Tx", "发送字符")},
    Row{7, "EOF"},
    Row{70, QT_TRANSLATE_NOOP("Tx", "没有权限打开串口")},
    Row{1006, QT_TRANSLATE_NOOP("Tx", "端口溢出")},
    Row{1008, QT_TRANSLATE_NOOP("Tx", "接收缓冲区溢出")},
    Row{8000, "Operation not valid while the port is opened"},
    Row{8001, "Timeout value must be greater than zero"},
    Row{8002, QT_TRANSLATE_NOOP("Tx", "该串口不存在！")},
    Row{8003, "Property available only at run time"},
    Row{8004, "Property is read only at runtime"},
    Row{8005, QT_TRANSLATE_NOOP("Tx", "串口已被占用")},
    Row{8006, "The device identifier is invalid or unsupported"},
    Row{8007, "The Device 's baud rate is unsupported"},
    Row{8008, "The specified byte size is invalid"},
    Row{8009, "The default parameters are in error"},
    Row{8010, "The hardware is not available (locked by another device)"},
    Row{8011, "The function cannot allocate the queues"},
    Row{8012, QT_TRANSLATE_NOOP("Tx", "串口还没打开！")},
    Row{8013, "The device is already open"},
    Row{8014, "Could not enable comm notification"},
    Row{8015, "Could not set comm state"},
    Row{8016, "Could not set comm event mask"},
    Row{8018, QT_TRANSLATE_NOOP("Tx", "串口尚未打开!")},
    Row{8019, "Device busy"},
    Row{8020, "Error reading comm device"},
    Row{8030, QT_TRANSLATE_NOOP("Tx", "安全连接没有建立")},
};

}  // namespace

QString CommErrorText(int number)
{
    if (number == 0)
        return {};
    for (const Row &row : kMessages) {
        if (row.number == number)
            return Tx::tr(row.text);
    }
    return QString::number(number);
}

QString CommErrorText(const CommError &error)
{
    return error.message().isEmpty() ? CommErrorText(error.number()) : error.message();
}

}  // namespace kv306
