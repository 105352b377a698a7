#pragma once

#include "link/serial_device.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace kv306::telnet {

// Telnet as a serial device server speaks it, with the COM-PORT-OPTION of RFC 2217 through which
// a client sets the server's serial line.
constexpr std::uint8_t kIac = 0xFF;
constexpr std::uint8_t kDont = 0xFE;
constexpr std::uint8_t kDo = 0xFD;
constexpr std::uint8_t kWont = 0xFC;
constexpr std::uint8_t kWill = 0xFB;
constexpr std::uint8_t kSb = 0xFA;
constexpr std::uint8_t kSe = 0xF0;
constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands a client sends; the server answers each with the number plus 100 and
// the value it applied.
enum ComPortCommand : std::uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
};
constexpr std::uint8_t kServerAnswer = 100;

// Data as it goes on the wire: every 0xFF doubled, so that it is no command.
QByteArray Escape(const QByteArray &data);

// What a client says when it connects: it will speak COM-PORT-OPTION, it sends and takes binary
// with no go-aheads (a server that waits to be told otherwise holds what the unit says), and the
// line settings it asks for (baud, data bits, parity, stop bits, no flow control).
QByteArray Opening(const LineSettings &line);
// The value a settings command carries, as the server answers it (four bytes for the baud rate,
// one for the rest).
QByteArray Value(ComPortCommand command, const LineSettings &line);

// One Telnet command from the server.
struct Command {
    std::uint8_t verb = 0;    // kWill, kWont, kDo, kDont or kSb
    std::uint8_t option = 0;  // the option, for a subnegotiation its first byte
    QByteArray sub;           // a subnegotiation's bytes after the option, 0xFF undoubled
};

// Reads what a server sends, across any cut between packets: the data (0xFF undoubled) and the
// commands, each kept out of the data.
class Decoder {
public:
    // A subnegotiation longer than this (COM-PORT-OPTION's are a few bytes) is read to its end
    // but not kept: a server that never ends one cannot fill the memory.
    static constexpr qsizetype kSubMax = 256;
    void Feed(const QByteArray &bytes, QByteArray *data, std::vector<Command> *commands);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    QByteArray sub_;
};

// What a client answers to a server's WILL, WONT, DO or DONT: it wants BINARY and
// SUPPRESS-GO-AHEAD both ways and COM-PORT-OPTION from its own side, and refuses the rest (ECHO,
// ...). Each
// option is answered once, so that two agreeing sides do not talk for ever. Empty when nothing
// is to be said.
class Answerer {
public:
    QByteArray Answer(const Command &command);

private:
    std::vector<std::uint16_t> said_;  // verb << 8 | option, said already
};

}  // namespace kv306::telnet
