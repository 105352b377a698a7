#include "protocol/csv.h"

namespace kv306 {

QByteArray CsvField(const QByteArray &text)
{
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    QByteArray quoted = text;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

void CsvReader::EndField()
{
    record_.fields << field_;
    field_.clear();
    state_ = State::Start;
}

void CsvReader::EndRecord(std::vector<Record> *records)
{
    EndField();
    if (text_) {
        ++ended_;
        if (records)
            records->push_back(record_);
    }
    record_ = {};
    text_ = false;
}

bool CsvReader::Begun() const
{
    return text_ || !field_.trimmed().isEmpty();
}

void CsvReader::Feed(const QByteArray &bytes, std::vector<Record> *records)
{
    const char *const end = bytes.constEnd();
    for (const char *p = bytes.constBegin(); p != end; ++p) {
        const char c = *p;
        if (record_.fields.isEmpty() && field_.isEmpty() && state_ == State::Start && !text_)
            record_.line = line_;
        // A run of ordinary characters is taken whole: most of a report is.
        const auto run = [&](auto ordinary) {
            const char *q = p;
            while (q != end && ordinary(*q))
                ++q;
            field_.append(p, q - p);
            p = q - 1;
        };
        if (state_ == State::Quoted && c != '"') {
            if (c == '\n') {
                ++line_;
                field_ += c;
            } else {
                run([](char k) { return k != '"' && k != '\n'; });
            }
            continue;
        }
        if ((state_ == State::Plain || state_ == State::Start) && c > ' ' && c != '"' && c != ',') {
            run([](char k) { return k != ',' && k != '\n' && k != '\r'; });
            state_ = State::Plain;
            text_ = true;
            continue;
        }
        if (c == '\n')
            ++line_;
        switch (state_) {
        case State::Start:
        case State::Plain:
            if (c == '"' && state_ == State::Start) {
                state_ = State::Quoted;
                text_ = true;
            } else if (c == ',') {
                text_ = true;
                EndField();
            } else if (c == '\n') {
                if (field_.endsWith('\r'))
                    field_.chop(1);
                EndRecord(records);
            } else {
                field_ += c;
                state_ = State::Plain;
                if (c != ' ' && c != '\t' && c != '\r')
                    text_ = true;
            }
            break;
        case State::Quoted:
            if (c == '"')
                state_ = State::QuoteInQuoted;
            else
                field_ += c;
            break;
        case State::QuoteInQuoted:
            if (c == '"') {
                field_ += '"';  // a doubled quote
                state_ = State::Quoted;
            } else if (c == ',') {
                EndField();
            } else if (c == '\n') {
                EndRecord(records);
            } else if (c != '\r') {
                field_ += c;  // text after the closing quote: kept, as readers do
                state_ = State::Plain;
            }
            break;
        }
    }
}

std::optional<CsvReader::Record> CsvReader::Unended() const
{
    if (!Begun())
        return std::nullopt;
    Record r = record_;
    r.fields << field_;
    return r;
}

}  // namespace kv306
