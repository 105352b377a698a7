#pragma once

#include <QByteArray>
#include <QList>

#include <optional>
#include <vector>

namespace kv306 {

// CSV as RFC 4180 has it, as the station's report is written and read: fields separated by
// commas; a field in double quotes may hold commas, doubled quotes and line breaks.

// A field as written: quoted when it holds a separator, a quote or a line break.
QByteArray CsvField(const QByteArray &text);

// Reads records from text fed in pieces, as a reader of CSV does: a line break inside a quoted
// field belongs to the field, and a line of blanks is no record.
class CsvReader {
public:
    struct Record {
        QList<QByteArray> fields;
        qint64 line = 0;  // the line it begins on, the first being 1
    };
    // Appends the records ended in `bytes` (by a line break outside quotes).
    void Feed(const QByteArray &bytes, std::vector<Record> *records);
    // The record begun and not ended yet (a last line without its line break).
    std::optional<Record> Unended() const;
    // The text ends inside a quoted field.
    bool Quoted() const { return state_ == State::Quoted; }
    // Records ended so far, and with the one begun.
    qint64 Ended() const { return ended_; }
    qint64 Records() const { return ended_ + (Begun() ? 1 : 0); }
    bool Begun() const;

private:
    enum class State { Start, Plain, Quoted, QuoteInQuoted };
    void EndField();
    void EndRecord(std::vector<Record> *records);

    State state_ = State::Start;
    QByteArray field_;
    Record record_;
    bool text_ = false;  // the record holds something other than blanks
    qint64 line_ = 1;
    qint64 ended_ = 0;
};

}  // namespace kv306
