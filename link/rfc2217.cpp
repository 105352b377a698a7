#include "link/rfc2217.h"

#include <algorithm>

namespace kv306::telnet {

namespace {

QByteArray Of(std::initializer_list<std::uint8_t> bytes)
{
    QByteArray out;
    for (const std::uint8_t b : bytes)
        out += static_cast<char>(b);
    return out;
}

}  // namespace

QByteArray Escape(const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size() + 4);
    for (const char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == kIac)
            out += c;
    }
    return out;
}

QByteArray Value(ComPortCommand command, const LineSettings &line)
{
    switch (command) {
    case kSetBaudRate: {
        const auto baud = static_cast<quint32>(line.baud);
        return Of({static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                   static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
    }
    case kSetDataSize: return QByteArray(1, static_cast<char>(line.dataBits));
    case kSetParity: {
        // 1 none, 2 odd, 3 even, 4 mark, 5 space
        const char parity = line.parity == 'o'   ? 2
                            : line.parity == 'e' ? 3
                            : line.parity == 'm' ? 4
                            : line.parity == 's' ? 5
                                                 : 1;
        return QByteArray(1, parity);
    }
    case kSetStopSize:
        return QByteArray(1, static_cast<char>(line.stopBits == 2 ? 2 : line.stopBits == 15 ? 3 : 1));
    case kSetControl: return QByteArray(1, 1);  // no flow control
    }
    return {};
}

QByteArray Opening(const LineSettings &line)
{
    const auto say = [](std::uint8_t verb, std::uint8_t option) { return Of({kIac, verb, option}); };
    QByteArray out = say(kWill, kComPortOption) + say(kWill, kBinary) + say(kDo, kBinary) +
                     say(kWill, kSuppressGoAhead) + say(kDo, kSuppressGoAhead);
    for (const ComPortCommand command : {kSetBaudRate, kSetDataSize, kSetParity, kSetStopSize, kSetControl}) {
        out += Of({kIac, kSb, kComPortOption, command});
        out += Escape(Value(command, line));
        out += Of({kIac, kSe});
    }
    return out;
}

void Decoder::Feed(const QByteArray &bytes, QByteArray *data, std::vector<Command> *commands)
{
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                *data += c;
            break;
        case State::Iac:
            if (b == kIac) {
                *data += c;  // a doubled 0xFF is one data byte
                state_ = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                verb_ = b;
                state_ = State::Verb;
            } else if (b == kSb) {
                sub_.clear();
                state_ = State::Sub;
            } else {
                state_ = State::Data;  // NOP, GA and the rest carry nothing for a serial line
            }
            break;
        case State::Verb:
            commands->push_back({verb_, b, {}});
            state_ = State::Data;
            break;
        case State::Sub:
            if (b == kIac)
                state_ = State::SubIac;
            else if (sub_.size() < kSubMax)
                sub_ += c;
            break;
        case State::SubIac:
            if (b == kSe) {
                Command command{kSb, sub_.isEmpty() ? std::uint8_t{0} : static_cast<std::uint8_t>(sub_[0]),
                                sub_.mid(1)};
                commands->push_back(command);
                state_ = State::Data;
            } else {
                if (b == kIac && sub_.size() < kSubMax)
                    sub_ += c;  // a doubled 0xFF inside the subnegotiation
                state_ = State::Sub;
            }
            break;
        }
    }
}

QByteArray Answerer::Answer(const Command &command)
{
    std::uint8_t reply = 0;
    switch (command.verb) {
    case kWill: reply = command.option == kBinary || command.option == kSuppressGoAhead ? kDo : kDont; break;
    case kDo:
        reply = command.option == kBinary || command.option == kSuppressGoAhead ||
                        command.option == kComPortOption
                    ? kWill
                    : kWont;
        break;
    // What the server will not do, or asks us not to do, needs no answer that agrees.
    case kWont:
    case kDont:
    default: return {};
    }
    // What the client said of itself in its opening counts as said.
    const bool opening = (reply == kWill && (command.option == kComPortOption || command.option == kBinary ||
                                             command.option == kSuppressGoAhead)) ||
                         (reply == kDo && (command.option == kBinary || command.option == kSuppressGoAhead));
    const auto key = static_cast<std::uint16_t>(reply << 8 | command.option);
    if (opening || std::find(said_.begin(), said_.end(), key) != said_.end())
        return {};
    said_.push_back(key);
    return Of({kIac, reply, command.option});
}

}  // namespace kv306::telnet
