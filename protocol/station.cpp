#include "protocol/station.h"

#include "link/comm_error.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QXmlStreamWriter>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kv306 {

QString SlotPort::Device() const
{
    return number ? DevicePathForPort(number) : label;
}

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

// The file holds what was written, on the disk and not only in the system's cache. A device or a
// pipe that cannot be synced has nothing more to do.
bool Sync(QFile &file, QString *error)
{
#ifdef Q_OS_WIN
    const int failed = _commit(file.handle());
#else
    const int failed = ::fsync(file.handle());
#endif
    if (failed != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

QByteArray StationReport::CsvLine(const StationRow &row)
{
    QList<QByteArray> fields{
        CsvField(row.at.toOffsetFromUtc(row.at.offsetFromUtc()).toString(Qt::ISODateWithMs)),
        QByteArray::number(row.unit),
        QByteArray::number(row.slot),
        CsvField(row.port),
        CsvField(row.device),
        CsvField(row.serial),
        CsvField(row.outcome)};
    for (int k = 0; k < kParamCount; ++k)
        fields << (row.values ? CsvField(ParamValueText(k, (*row.values)[static_cast<std::size_t>(k)]))
                              : QByteArray());
    fields << QByteArray::number(row.seconds, 'f', 3);
    return fields.join(',') + '\n';
}

bool StationReport::Open(const QString &csv, const QString &junit, QString *error)
{
    const QFileInfo info(csv);
    if (info.isDir()) {
        *error = QStringLiteral("%1 is a folder").arg(csv);
        return false;
    }
#ifndef Q_OS_WIN
    // A pipe would hold the station until someone reads it.
    struct stat st {};
    if (::stat(QFile::encodeName(csv).constData(), &st) == 0 &&
        (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        *error = QStringLiteral("%1 is a pipe, not a file").arg(csv);
        return false;
    }
#endif
    QByteArray before;
    if (info.isFile()) {
        QFile existing(csv);
        if (!existing.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(csv, existing.errorString());
            return false;
        }
        before = existing.readAll();
    }
    if (!before.isEmpty()) {
        const QByteArray first = before.left(before.indexOf('\n')).trimmed();
        if (first != kHeader) {
            *error = QStringLiteral("%1 is not a station report (its first line is not the report's header); "
                                    "name a new file")
                         .arg(csv);
            return false;
        }
        for (const QByteArray &line : before.split('\n').mid(1))
            rowsBefore_ += line.trimmed().isEmpty() ? 0 : 1;
    }
    csv_.setFileName(csv);
    if (!csv_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = QStringLiteral("%1: %2").arg(csv, csv_.errorString());
        return false;
    }
    QByteArray start;
    if (before.isEmpty())
        start = QByteArray(kHeader) + '\n';
    else if (!before.endsWith('\n'))
        start = "\n";  // a row cut short by a power cut stays a row of its own
    QString why;
    if (!start.isEmpty() && (csv_.write(start) != start.size() || !Sync(csv_, &why))) {
        *error = QStringLiteral("%1: %2").arg(csv, why.isEmpty() ? csv_.errorString() : why);
        csv_.close();
        return false;
    }
    junit_ = junit;
    return junit_.isEmpty() || WriteJUnit(error);
}

bool StationReport::Append(const StationRow &row, QString *error)
{
    std::lock_guard lock(mutex_);
    const QByteArray line = CsvLine(row);
    QString why;
    if (csv_.write(line) != line.size() || !Sync(csv_, &why)) {
        *error = QStringLiteral("%1: %2").arg(csv_.fileName(), why.isEmpty() ? csv_.errorString() : why);
        return false;
    }
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

    QSaveFile file(junit_);
    if (!file.open(QIODevice::WriteOnly) || file.write(xml) != xml.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(junit_, file.errorString());
        return false;
    }
    return true;
}

QString Station::ReportError() const
{
    std::lock_guard lock(mutex_);
    return reportError_;
}

std::optional<int> Station::TakeUnit()
{
    int taken = taken_.load();
    do {
        if (options_.count > 0 && taken >= options_.count)
            return std::nullopt;
    } while (!taken_.compare_exchange_weak(taken, taken + 1));
    return taken + 1;
}

bool Station::CountReached() const
{
    return options_.count > 0 && taken_.load() >= options_.count;
}

bool Station::Rest(int ms) const
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (Stopping())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(20, ms - clock.elapsed())));
    }
    return !Stopping();
}

void Station::Changed(int slot, const SlotPort &port, SlotState state, const QString &why)
{
    if (SlotChanged)
        SlotChanged(slot, port, state, why);
}

namespace {

// Something came back: a unit is there, whatever it said.
bool Answered(const Outcome &o)
{
    return o.Ok() || (o.failure != Failure::Port && !o.traffic.empty() && o.traffic.back().seen > 0);
}

bool PortGone(const Outcome &o)
{
    return o.failure == Failure::Port && o.errorNumber == ErrorNo::NoSuchPort;
}

}  // namespace

void Station::RunSlot(int slot, const SlotPort &port)
{
    UnitOnPort unit(port.number, port.number ? QString() : port.label);
    std::optional<SlotState> shown;
    const auto show = [&](SlotState state, const QString &why = {}) {
        if (shown != state)
            Changed(slot, port, state, why);
        shown = state;
    };
    while (!Stopping() && !CountReached()) {
        // A unit is there once it answers a read; the read waits its second for one.
        Outcome look = unit.core.Read();
        unit.link.CloseLink();
        QElapsedTimer sinceAnswer;
        sinceAnswer.start();
        if (!Answered(look)) {
            const bool noPort = look.failure == Failure::Port;
            show(noPort ? SlotState::NoPort : SlotState::Waiting, FailureText(look));
            if (options_.once) {
                if (NoUnit)
                    NoUnit(slot, port, look);
                break;
            }
            if (noPort && !Rest(kPortLookMs))
                break;
            continue;
        }
        if (Stopping())
            break;
        const std::optional<int> number = TakeUnit();
        if (!number)
            break;
        show(SlotState::Present);
        StationRow row = SetUp(unit, slot, port, *number);
        row.seconds = static_cast<double>(sinceAnswer.nsecsElapsed()) / 1e9;
        Record(row);
        if (options_.once || Stopping() || CountReached())
            break;

        // The same unit is never taken twice: wait until its port goes or it stops answering.
        int misses = 0;
        while (Rest(kStayLookMs)) {
            const Outcome stay = unit.core.Read();
            unit.link.CloseLink();
            if (PortGone(stay))
                break;
            misses = Answered(stay) ? 0 : misses + 1;
            if (misses >= kGoneAfterMisses)
                break;
        }
        if (!Stopping())
            show(SlotState::Gone);
    }
    show(SlotState::Done);
}

StationRow Station::SetUp(UnitOnPort &unit, int slot, const SlotPort &port, int number)
{
    StationRow row;
    row.unit = (report_ ? report_->RowsBefore() : 0) + number;
    row.slot = slot;
    row.port = port.label;
    const PortIdentity id = IdentifyPorts({port.Device()}).value(0);
    row.device = id.device.isEmpty() ? port.Device() : id.device;
    row.serial = id.serial;

    const Outcome o = unit.core.WriteAndVerify(options_.profile, [this] { return !Stopping(); });
    unit.link.CloseLink();
    row.at = QDateTime::currentDateTime();
    row.detail = o;
    if (o.unverified) {
        row.kind = StationRow::Kind::Interrupted;
        row.outcome = QStringLiteral("interrupted: written, not verified");
    } else if (o.Ok()) {
        row.kind = StationRow::Kind::Pass;
        row.outcome = QStringLiteral("pass");
        row.values = o.values;
    } else if (o.failure == Failure::Port) {
        row.kind = StationRow::Kind::Error;
        row.outcome = QStringLiteral("error: ") + FailureText(o);
    } else {
        row.kind = StationRow::Kind::Fail;
        row.outcome = QStringLiteral("fail: ") + FailureText(o);
        if (o.failure == Failure::Mismatch)
            row.values = o.values;
    }
    return row;
}

void Station::Record(const StationRow &row)
{
    switch (row.kind) {
    case StationRow::Kind::Pass: ++passed_; break;
    case StationRow::Kind::Fail: ++failed_; break;
    case StationRow::Kind::Error: ++errors_; break;
    case StationRow::Kind::Interrupted: ++interrupted_; break;
    }
    QString error;
    if (report_ && !report_->Append(row, &error)) {
        {
            std::lock_guard lock(mutex_);
            if (reportError_.isEmpty())
                reportError_ = error;
        }
        Stop();
    }
    if (UnitDone)
        UnitDone(row);
}

}  // namespace kv306
