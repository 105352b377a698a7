#include "protocol/station_report.h"

#include "link/texts.h"
#include "protocol/csv.h"
#include "protocol/outcome_text.h"
#include "protocol/params_text.h"

#include <QDir>
#include <QXmlStreamWriter>

namespace kv306 {

QString StationRow::KindWord() const
{
    return VerdictWord(kind);
}

QString StampText(const QDateTime &at)
{
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

namespace {

QByteArray Field(const QString &text)
{
    return CsvField(text.toUtf8());
}

QString Shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

}  // namespace

QByteArray StationReport::CsvLine(const StationRow &row, int format)
{
    QList<QByteArray> fields{Field(StampText(row.at)),
                             QByteArray::number(row.unit),
                             QByteArray::number(row.slot),
                             Field(row.port),
                             Field(row.device),
                             Field(row.adapterSerial),
                             Field(row.outcome)};
    for (int k = 0; k < kParamCount; ++k)
        fields << (row.values ? Field(ParamValueText(k, (*row.values)[static_cast<std::size_t>(k)]))
                              : QByteArray());
    fields << QByteArray::number(row.seconds, 'f', 3);
    if (format >= 2)
        fields << Field(row.serial) << (row.again ? QByteArray::number(row.again) : QByteArray())
               << Field(row.operatorName) << Field(row.lot) << Field(row.profile)
               << Field(FormatParams(row.target)) << Field(row.host) << Field(row.version);
    if (format >= 3) {
        const std::optional<Reason> reason = ReasonOf(row.detail);
        fields << Field(reason ? reason->token : QString());
    }
    if (format >= 4)
        fields << Field(row.id);
    return fields.join(',') + '\n';
}

void StationReport::Read(const QByteArray &bytes)
{
    std::vector<CsvReader::Record> records;
    reader_.Feed(bytes, &records);
    counted_ += bytes.size();
    for (const CsvReader::Record &r : records) {
        if (!headerRead_) {
            headerRead_ = true;
            continue;
        }
        const Checked<ReportEntry> e = columns_ ? EntryOf(r, *columns_) : Checked<ReportEntry>();
        if (!e)
            continue;  // a row cut by a power cut counts as a row, but says nothing
        tally_.Add(*e);
        if (!e->serial.isEmpty())
            lastUnitOf_[e->serial] = e->unit;
    }
}

Done StationReport::Open(const QString &csv, const QString &junit, bool newColumns)
{
    const SaveTarget report = ChooseSaveTarget(csv);
    if (report.path.isEmpty())
        return Done::Refused(report.refusal);
    if (!junit.isEmpty()) {
        const SaveTarget xml = ChooseSaveTarget(junit);
        if (xml.path.isEmpty())
            return Done::Refused(Tx::tr("JUnit 文件：%1").arg(xml.refusal));
        junit_ = xml.path;
    }
    if (const Done opened = csv_.Open(report.path); !opened)
        return Done::Refused(Tx::tr("%1：%2").arg(Shown(csv), opened.reason));
    if (const Done locked = csv_.Lock(); !locked) {
        csv_.Close();
        return Done::Refused(Tx::tr("%1：%2").arg(Shown(csv), locked.reason));
    }
    const Checked<QByteArray> before = csv_.ReadFrom(0);
    QString why;
    QByteArray start;
    bool good = bool(before);
    if (good && !before->isEmpty()) {
        // The header alone, even without its line break, is the first record.
        CsvReader first;
        std::vector<CsvReader::Record> records;
        first.Feed(before->left(before->indexOf('\n') < 0 ? before->size() : before->indexOf('\n') + 1),
                   &records);
        const std::optional<CsvReader::Record> header = records.empty() ? first.Unended() : records.front();
        columns_ = header ? ColumnsOf(*header) : std::nullopt;
        if (!columns_) {
            why = Tx::tr("%1 不是工位报告（它的第一行不是报告的表头）；请另选一个新文件").arg(Shown(csv));
            good = false;
        } else if (columns_->format == 1 && newColumns) {
            why = Tx::tr("%1 是旧格式的工位报告，没有序列号、操作员和批号的列；请另选一个新文件")
                      .arg(Shown(csv));
            good = false;
        }
    }
    if (good) {
        Read(*before);
        if (before->isEmpty()) {
            start = ReportHeader() + '\n';
            columns_ = ColumnsOf({ReportHeader().split(','), 1});
        } else if (reader_.Quoted()) {
            start = "\"\n";  // a row cut inside a quoted field by a power cut: closed, a row of its own
        } else if (!before->endsWith('\n')) {
            start = "\n";  // a row cut short (or a header without its line break) stays a line of its own
        }
        if (const Done added = start.isEmpty() ? Done::Ok() : csv_.AppendWhole(start); !added) {
            why = Tx::tr("%1：%2").arg(Shown(csv), added.reason);
            good = false;
        }
    } else if (!before) {
        why = Tx::tr("%1：%2").arg(Shown(csv), before.reason);
    }
    if (good)
        Read(start);
    csv_.Unlock();
    if (!good) {
        csv_.Close();
        return Done::Refused(why);
    }
    return Done::Ok();
}

Done StationReport::CatchUp()
{
    if (!csv_.StillThere())
        return Done::Refused(Tx::tr("报告文件 %1 已被删除或移走，之后的行无处可写").arg(Shown(csv_.Path())));
    const Checked<QByteArray> more = csv_.ReadFrom(counted_);
    if (!more)
        return Done::Refused(Tx::tr("%1：%2").arg(Shown(csv_.Path()), more.reason));
    Read(*more);
    return Done::Ok();
}

Done StationReport::Append(StationRow &row)
{
    std::lock_guard lock(mutex_);
    if (const Done locked = csv_.Lock(); !locked)
        return Done::Refused(Tx::tr("%1：%2").arg(Shown(csv_.Path()), locked.reason));
    Done written = CatchUp();
    if (written) {
        // The header is the first record; this unit is the one after the last.
        row.unit = static_cast<int>(reader_.Records());
        if (!row.serial.isEmpty()) {
            const auto before = lastUnitOf_.find(row.serial);
            row.again = before == lastUnitOf_.end() ? 0 : before->second;
        }
        QByteArray line = CsvLine(row, columns_ ? columns_->format : kReportFormat);
        row.written = line;
        // A row another writer left without its line break is not joined to this one.
        if (reader_.Begun())
            line.prepend(reader_.Quoted() ? "\"\n" : "\n");
        written = csv_.AppendWhole(line);
        if (written)
            Read(line);
        else
            written = Done::Refused(Tx::tr("%1：%2").arg(Shown(csv_.Path()), written.reason));
    }
    csv_.Unlock();
    if (!written)
        return written;
    rows_.push_back(row);
    return junit_.isEmpty() ? Done::Ok() : WriteJUnit();
}

Figures StationReport::Total() const
{
    std::lock_guard lock(mutex_);
    return tally_.Total();
}

Done StationReport::WriteJUnit()
{
    int failures = 0;
    int errors = 0;
    double seconds = 0;
    for (const StationRow &row : rows_) {
        failures += row.kind == StationRow::Kind::Fail ? 1 : 0;
        errors += row.kind == StationRow::Kind::Error || row.kind == StationRow::Kind::Interrupted ? 1 : 0;
        seconds += row.seconds;
    }
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("testsuites"));
    w.writeStartElement(QStringLiteral("testsuite"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("kv306 station"));
    w.writeAttribute(QStringLiteral("tests"), QString::number(rows_.size()));
    w.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    w.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    w.writeAttribute(QStringLiteral("time"), QString::number(seconds, 'f', 3));
    if (!rows_.empty())
        w.writeAttribute(QStringLiteral("timestamp"), rows_.front().at.toString(Qt::ISODate));
    for (const StationRow &row : rows_) {
        w.writeStartElement(QStringLiteral("testcase"));
        w.writeAttribute(QStringLiteral("classname"), QStringLiteral("kv306.station.") + row.port);
        // Named by the unit's serial number where one was scanned.
        w.writeAttribute(
            QStringLiteral("name"),
            row.serial.isEmpty()
                ? QStringLiteral("unit %1 (%2)").arg(row.unit).arg(row.port)
                : QStringLiteral("%1 (unit %2, %3)").arg(row.serial).arg(row.unit).arg(row.port));
        w.writeAttribute(QStringLiteral("time"), QString::number(row.seconds, 'f', 3));
        if (!row.Passed()) {
            w.writeStartElement(row.kind == StationRow::Kind::Fail ? QStringLiteral("failure")
                                                                   : QStringLiteral("error"));
            w.writeAttribute(QStringLiteral("message"), row.outcome);
            w.writeAttribute(QStringLiteral("type"), row.KindWord());
            w.writeEndElement();
        }
        if (row.values)
            w.writeTextElement(QStringLiteral("system-out"), FormatParams(*row.values));
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();

    // Checked again: what the name leads to may have changed since the station began.
    const SaveTarget target = ChooseSaveTarget(junit_);
    if (const Done why = SaveToTarget(target, xml); !why)
        return Done::Refused(target.path.isEmpty() ? why.reason
                                                   : Tx::tr("%1：%2").arg(Shown(junit_), why.reason));
    return Done::Ok();
}

}  // namespace kv306
