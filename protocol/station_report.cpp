#include "protocol/station_report.h"

#include "link/texts.h"
#include "protocol/params_text.h"

#include <QDir>
#include <QXmlStreamWriter>

namespace kv306 {

QString StationRow::KindWord() const
{
    switch (kind) {
    case Kind::Pass: return QStringLiteral("pass");
    case Kind::Fail: return QStringLiteral("fail");
    case Kind::Error: return QStringLiteral("error");
    case Kind::Interrupted: return QStringLiteral("interrupted");
    }
    return {};
}

QString StampText(const QDateTime &at)
{
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void CsvRowCount::Feed(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c == '"') {
            quoted = !quoted;  // a doubled quote inside a field turns it off and on again
            begun = true;
        } else if (c == '\n' && !quoted) {
            rows += begun ? 1 : 0;
            begun = false;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            begun = true;
        }
    }
}

const char StationReport::kHeader[] =
    "time,unit,slot,port,device,serial,outcome,horizontal,vertical,size,standard,roundness,outside,seconds";

namespace {

// A CSV field: quoted when it holds a separator, a quote or a line break.
QByteArray CsvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

QString Shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

}  // namespace

QByteArray StationReport::CsvLine(const StationRow &row)
{
    QList<QByteArray> fields{CsvField(StampText(row.at)),  QByteArray::number(row.unit),
                             QByteArray::number(row.slot), CsvField(row.port),
                             CsvField(row.device),         CsvField(row.serial),
                             CsvField(row.outcome)};
    for (int k = 0; k < kParamCount; ++k)
        fields << (row.values ? CsvField(ParamValueText(k, (*row.values)[static_cast<std::size_t>(k)]))
                              : QByteArray());
    fields << QByteArray::number(row.seconds, 'f', 3);
    return fields.join(',') + '\n';
}

bool StationReport::Open(const QString &csv, const QString &junit, QString *error)
{
    const SaveTarget report = ChooseSaveTarget(csv);
    if (report.path.isEmpty()) {
        *error = report.refusal;
        return false;
    }
    if (!junit.isEmpty()) {
        const SaveTarget xml = ChooseSaveTarget(junit);
        if (xml.path.isEmpty()) {
            *error = xml.refusal;
            return false;
        }
        junit_ = xml.path;
    }
    QString why;
    if (!csv_.Open(report.path, &why)) {
        *error = Tx::tr("%1：%2").arg(Shown(csv), why);
        return false;
    }
    if (!csv_.Lock(&why)) {
        *error = Tx::tr("%1：%2").arg(Shown(csv), why);
        csv_.Close();
        return false;
    }
    const std::optional<QByteArray> before = csv_.ReadFrom(0, &why);
    QByteArray start;
    bool good = before.has_value();
    if (good && !before->isEmpty()) {
        const qsizetype end = before->indexOf('\n');
        const QByteArray first = (end < 0 ? *before : before->left(end)).trimmed();  // a header alone too
        if (first != kHeader) {
            why = Tx::tr("%1 不是工位报告（它的第一行不是报告的表头）；请另选一个新文件").arg(Shown(csv));
            good = false;
        }
    }
    if (good) {
        count_.Feed(*before);
        counted_ = before->size();
        if (before->isEmpty())
            start = QByteArray(kHeader) + '\n';
        else if (count_.quoted)
            start = "\"\n";  // a row cut inside a quoted field by a power cut: closed, a row of its own
        else if (!before->endsWith('\n'))
            start = "\n";  // a row cut short (or a header without its line break) stays a line of its own
        if (!start.isEmpty() && !csv_.AppendWhole(start, &why)) {
            why = Tx::tr("%1：%2").arg(Shown(csv), why);
            good = false;
        }
    } else if (!before) {
        why = Tx::tr("%1：%2").arg(Shown(csv), why);
    }
    if (good) {
        count_.Feed(start);
        counted_ += start.size();
    }
    csv_.Unlock();
    if (!good) {
        *error = why;
        csv_.Close();
    }
    return good;
}

bool StationReport::CatchUp(QString *error)
{
    if (!csv_.StillThere()) {
        *error = Tx::tr("报告文件 %1 已被删除或移走，之后的行无处可写").arg(Shown(csv_.Path()));
        return false;
    }
    QString why;
    const std::optional<QByteArray> more = csv_.ReadFrom(counted_, &why);
    if (!more) {
        *error = Tx::tr("%1：%2").arg(Shown(csv_.Path()), why);
        return false;
    }
    count_.Feed(*more);
    counted_ += more->size();
    return true;
}

bool StationReport::Append(StationRow &row, QString *error)
{
    std::lock_guard lock(mutex_);
    QString why;
    if (!csv_.Lock(&why)) {
        *error = Tx::tr("%1：%2").arg(Shown(csv_.Path()), why);
        return false;
    }
    bool written = CatchUp(error);
    if (written) {
        // The header is the first row; this unit is the one after the last.
        row.unit = static_cast<int>(count_.Rows());
        QByteArray line = CsvLine(row);
        // A row another writer left without its line break is not joined to this one.
        if (count_.begun)
            line.prepend(count_.quoted ? "\"\n" : "\n");
        written = csv_.AppendWhole(line, &why);
        if (written) {
            count_.Feed(line);
            counted_ += line.size();
        } else {
            *error = Tx::tr("%1：%2").arg(Shown(csv_.Path()), why);
        }
    }
    csv_.Unlock();
    if (!written)
        return false;
    rows_.push_back(row);
    return junit_.isEmpty() || WriteJUnit(error);
}

bool StationReport::WriteJUnit(QString *error)
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
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("unit %1 (%2)").arg(row.unit).arg(row.port));
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
    if (const std::optional<QString> why = SaveToTarget(target, xml)) {
        *error = target.path.isEmpty() ? *why : Tx::tr("%1：%2").arg(Shown(junit_), *why);
        return false;
    }
    return true;
}

}  // namespace kv306
