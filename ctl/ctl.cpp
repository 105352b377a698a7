#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "link/output_file.h"
#include "protocol/params_text.h"
#include "protocol/station.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTranslator>

#include <algorithm>
#include <cstdlib>

namespace kv306::ctl {

namespace {

// The options a command takes besides --port and --json.
enum Takes : unsigned {
    kFrom = 1u << 0,
    kNames = 1u << 1,
    kReport = 1u << 2,
    kJunit = 1u << 3,
    kCount = 1u << 4,
    kOnce = 1u << 5,
    kDryRun = 1u << 6,
    kScan = 1u << 7,
    kOperator = 1u << 8,
    kLot = 1u << 9,
    kSince = 1u << 10,
    kUntil = 1u << 11,
};

// What a command does with --port.
enum class PortRule {
    Looks,       // the ports to look at; without --port, every port there is
    One,         // one unit; without --port, the port Com.TXT remembers
    AtLeastOne,  // every unit named, at least one
    None,        // no port: the command reads a file
};

// The table of commands: dispatch, the options each takes, --help.
struct CommandSpec {
    const char *name;
    const char *usage;
    const char *help;
    unsigned takes;
    PortRule ports;
    bool profile;  // its first word is a PROFILE
    int (*run)(const Invocation &);
};

constexpr CommandSpec kCommands[] = {
    {"ports", "ports",
     "COM1..COM20 that exist: name, device, state, adapter; with --port only those; --names: the "
     "names alone, opening nothing",
     kNames, PortRule::Looks, false, PortsCommand},
    {"read", "read", "the unit's six parameters", 0, PortRule::One, false, ReadCommand},
    {"write", "write KEY=VALUE...", "all six keys; or: write --from PROFILE", kFrom, PortRule::One, false,
     WriteCommand},
    {"set", "set KEY=VALUE...", "read, change the named keys, write, read back and compare", 0, PortRule::One,
     false, SetCommand},
    {"toggle", "toggle overlay|crosshair", "switch the overlay or its crosshair; prints the unit's echo", 0,
     PortRule::One, false, ToggleCommand},
    {"step", "step KEY up|down [COUNT]",
     "KEY horizontal, vertical or size; up raises the value by one, down lowers it; prints each new value. "
     "(The "
     "window's vertical arrow that points up lowers the value: it moves the picture up.)",
     0, PortRule::One, false, StepCommand},
    {"probe", "probe",
     "send a read to each free port (with --port: to those only); list those a unit answers on", 0,
     PortRule::Looks, false, ProbeCommand},
    {"apply", "apply PROFILE --port A [--port B ...]", "write and verify the profile on every port at once",
     kDryRun, PortRule::AtLeastOne, true, ApplyCommand},
    {"verify", "verify PROFILE --port A [--port B ...]",
     "read every unit (nothing is written) and compare it with the profile: one line a unit, then a summary",
     kDryRun, PortRule::AtLeastOne, true, VerifyCommand},
    {"station", "station PROFILE --port A [--port B ...] --report FILE [--junit FILE]",
     "a production line's set-up station: on every port wait for a unit to answer, apply and verify the "
     "profile, append its row to the CSV report, wait for the unit to go; one line a unit (\"COM3 #17 pass "
     "1.2 s\") until stopped, --count N units, or --once (what is there now)",
     kReport | kJunit | kCount | kOnce | kDryRun | kScan | kOperator | kLot, PortRule::AtLeastOne, true,
     StationCommand},
    {"report", "report FILE [--since TIME] [--until TIME]",
     "a station's report read back: units, pass, fail, error, first-pass yield, units set up more than once, "
     "units an hour and what failed, for the whole and for each slot, operator and lot",
     kSince | kUntil, PortRule::None, false, ReportCommand},
};

const CommandSpec *CommandNamed(const QString &name)
{
    for (const CommandSpec &c : kCommands) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

// "station", "apply, verify and station": the commands that take an option.
QString TakenBy(Takes option)
{
    QStringList names;
    for (const CommandSpec &c : kCommands) {
        if (c.takes & option)
            names << QLatin1String(c.name);
    }
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// `text` in lines of at most 80 characters, the first after `first`, the others indented as far.
QString Wrapped(const QString &first, const QString &text)
{
    QString out;
    QString line = first;
    const qsizetype indent = first.size();
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (line.size() + word.size() > 80 && line.size() > indent) {
            out += line.chopped(1) + QLatin1Char('\n');
            line = QString(indent, QLatin1Char(' '));
        }
        line += word + QLatin1Char(' ');
    }
    return out + line.chopped(1) + QLatin1Char('\n');
}

// A time as --since and --until take it: ISO 8601, a date alone being its day's start, local
// time unless an offset is given.
QDateTime TimeOf(const QString &text)
{
    const QString iso = QString(text).replace(QLatin1Char(' '), QLatin1Char('T'));
    // No place on earth is more than 14 hours from UTC; Qt takes "+99:00" for local time.
    static const QRegularExpression offset(QStringLiteral("T.*[+-]([0-9]{2}):?([0-9]{2})$"));
    if (const QRegularExpressionMatch m = offset.match(iso);
        m.hasMatch() &&
        (m.captured(1).toInt() * 60 + m.captured(2).toInt() > 14 * 60 || m.captured(2).toInt() > 59))
        return {};
    const QDateTime at = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (at.isValid())
        return at;
    const QDate day = QDate::fromString(iso, Qt::ISODate);
    return day.isValid() ? day.startOfDay() : QDateTime();
}

// What --help says above Qt's list of options: the commands from the table, the keys, the exit
// codes, and where the reference is.
QString HelpText()
{
    QString text =
        QStringLiteral("Sets up and operates KV306 overlay units over a serial line.\n\nCommands:\n");
    for (const CommandSpec &c : kCommands) {
        const QString usage = QStringLiteral("  %1").arg(QLatin1String(c.usage), -28);
        text += usage.size() > 30 ? usage + QLatin1Char('\n') +
                                        Wrapped(QString(32, QLatin1Char(' ')), QLatin1String(c.help))
                                  : Wrapped(usage + QStringLiteral("  "), QLatin1String(c.help));
    }
    text += QLatin1Char('\n') +
            Wrapped(QString(), QStringLiteral("apply, verify and station with --dry-run say "
                                              "what they would send where, and open nothing"));
    text += QStringLiteral(
        "\nKeys: horizontal 0-63, vertical 0-63, size 0-51, standard PAL|NTSC, roundness 0-3,\n"
        "      outside keep|remove.\n"
        "PORT: COM1..COM20 (as the window finds them), a device path, or a port behind a serial\n"
        "      device server: rfc2217://HOST:PORT or socket://HOST:PORT. Without --port, the port\n"
        "      remembered in Com.TXT.\n\n");
    return text + ExitCodesText() +
           QStringLiteral("\nSee kv306ctl(1) for every option, the report's columns and examples.");
}

struct Parsed {
    QCommandLineParser parser;
    QCommandLineOption port{
        QStringLiteral("port"),
        QStringLiteral("the unit's port (COMn, a device, rfc2217://HOST:PORT or socket://HOST:PORT)"),
        QStringLiteral("PORT")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("print one JSON document")};
    QCommandLineOption trace{
        QStringLiteral("trace"),
        QStringLiteral("each frame sent and received on standard error, with its time, its "
                       "bytes and their meaning")};
    QCommandLineOption report{QStringLiteral("report"),
                              QStringLiteral("station: the CSV file each unit's row is appended to"),
                              QStringLiteral("FILE")};
    QCommandLineOption junit{QStringLiteral("junit"),
                             QStringLiteral("station: a JUnit XML file, rewritten after each unit"),
                             QStringLiteral("FILE")};
    QCommandLineOption count{QStringLiteral("count"), QStringLiteral("station: stop after N units"),
                             QStringLiteral("N")};
    QCommandLineOption once{QStringLiteral("once"),
                            QStringLiteral("station: set up the units there now, then end")};
    QCommandLineOption dryRun{QStringLiteral("dry-run"),
                              QStringLiteral("apply, verify, station: say what would be sent; open nothing")};
    QCommandLineOption from{QStringLiteral("from"), QStringLiteral("write: the values of a profile"),
                            QStringLiteral("PROFILE")};
    QCommandLineOption names{QStringLiteral("names"),
                             QStringLiteral("ports: only the names of the ports there are; opens nothing")};
    QCommandLineOption scan{QStringLiteral("scan"),
                            QStringLiteral("station: each unit's serial number, a line of standard input")};
    QCommandLineOption operatorName{QStringLiteral("operator"),
                                    QStringLiteral("station: who runs it, in every row"),
                                    QStringLiteral("NAME")};
    QCommandLineOption lot{QStringLiteral("lot"), QStringLiteral("station: the lot, in every row"),
                           QStringLiteral("LOT")};
    QCommandLineOption since{QStringLiteral("since"), QStringLiteral("report: rows from TIME on (ISO 8601)"),
                             QStringLiteral("TIME")};
    QCommandLineOption until{QStringLiteral("until"), QStringLiteral("report: rows up to TIME (ISO 8601)"),
                             QStringLiteral("TIME")};

    // The options a command may not take, beside the bit that says so.
    std::vector<std::pair<const QCommandLineOption *, Takes>> Restricted() const
    {
        return {{&from, kFrom},     {&names, kNames}, {&report, kReport},
                {&junit, kJunit},   {&count, kCount}, {&once, kOnce},
                {&dryRun, kDryRun}, {&scan, kScan},   {&operatorName, kOperator},
                {&lot, kLot},       {&since, kSince}, {&until, kUntil}};
    }
};

int RunCommand(const QStringList &arguments)
{
    // A negative step count would be taken for an option.
    static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));
    SetJsonMode(arguments.contains(QStringLiteral("--json")));
    for (const QString &argument : arguments) {
        if (negative.match(argument).hasMatch())
            return Usage(QStringLiteral("COUNT must be a positive whole number, not %1").arg(argument));
    }
    Parsed p;
    QCommandLineParser &parser = p.parser;
    parser.setApplicationDescription(HelpText());
    QStringList names;
    for (const CommandSpec &c : kCommands)
        names << QLatin1String(c.name);
    parser.addPositionalArgument(QStringLiteral("command"), names.join(QStringLiteral(", ")));
    for (const QCommandLineOption *o :
         {&p.port, &p.json, &p.trace, &p.report, &p.junit, &p.count, &p.once, &p.dryRun, &p.from, &p.names,
          &p.scan, &p.operatorName, &p.lot, &p.since, &p.until})
        parser.addOption(*o);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    if (!parser.parse(QStringList{QStringLiteral("kv306ctl")} + arguments))
        return Usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        OutRaw(parser.helpText().toLocal8Bit());
        return kExitOk;
    }
    if (parser.isSet(versionOption)) {
        Out(QStringLiteral("kv306ctl ") + QCoreApplication::applicationVersion());
        return kExitOk;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return Usage(QStringLiteral("no command given"));
    // An option that takes one value given twice: which one was meant cannot be guessed.
    for (const QCommandLineOption *o :
         {&p.report, &p.junit, &p.count, &p.from, &p.operatorName, &p.lot, &p.since, &p.until}) {
        if (parser.values(*o).size() > 1)
            return Usage(QStringLiteral("--%1 given twice").arg(o->names().constFirst()));
    }
    const CommandSpec *command = CommandNamed(words[0]);
    if (!command)
        return Usage(QStringLiteral("unknown command '%1'").arg(words[0]));
    for (const auto &[option, bit] : p.Restricted()) {
        if (parser.isSet(*option) && !(command->takes & bit))
            return Usage(
                QStringLiteral("--%1 belongs to %2").arg(option->names().constFirst(), TakenBy(bit)));
    }

    if (parser.isSet(p.trace))
        TraceFrames();
    Invocation in;
    in.name = words[0];
    in.words = words.mid(1);
    QString error;
    const std::optional<QList<PortRef>> ports = PortsOf(parser.values(p.port), &error);
    if (!ports)
        return Usage(error);
    in.ports = *ports;
    in.dryRun = parser.isSet(p.dryRun);
    in.report = parser.value(p.report);
    in.junit = parser.value(p.junit);
    in.once = parser.isSet(p.once);
    in.scan = parser.isSet(p.scan);
    in.operatorName = parser.value(p.operatorName);
    in.lot = parser.value(p.lot);
    for (const auto &[option, bound] : {std::pair{&p.since, &in.since}, std::pair{&p.until, &in.until}}) {
        if (!parser.isSet(*option))
            continue;
        *bound = TimeOf(parser.value(*option));
        if (!bound->isValid())
            return Usage(QStringLiteral("--%1 needs an ISO 8601 time (2026-12-08T06:00), not %2")
                             .arg(option->names().constFirst(), parser.value(*option)));
    }
    if (in.since.isValid() && in.until.isValid() && in.since > in.until)
        return Usage(QStringLiteral("--since %1 is later than --until %2")
                         .arg(parser.value(p.since), parser.value(p.until)));
    // Who and which lot go into every row: one line of text each.
    for (const auto &[option, text] :
         {std::pair{"--operator", &in.operatorName}, std::pair{"--lot", &in.lot}}) {
        if (const QString why = Station::TextRefusal(*text); !why.isEmpty())
            return Usage(QStringLiteral("%1 '%2': %3").arg(QLatin1String(option), *text, why));
    }

    if (command->ports == PortRule::None) {
        if (!in.ports.isEmpty())
            return Usage(QStringLiteral("%1 takes no --port").arg(in.name));
        return command->run(in);
    }
    if (command->ports == PortRule::Looks)
        return parser.isSet(p.names) ? PortNamesCommand(in) : command->run(in);

    if (command->profile) {
        if (in.words.size() != 1)
            return Usage(QStringLiteral("%1 needs one PROFILE").arg(in.name));
        if (in.ports.isEmpty())
            return Usage(QStringLiteral("%1 needs at least one --port").arg(in.name));
        if (command->takes & kReport) {
            if (in.report.isEmpty())
                return Usage(QStringLiteral("%1 needs --report FILE").arg(in.name));
            if (parser.isSet(p.count)) {
                bool ok = false;
                in.count = parser.value(p.count).toInt(&ok);
                if (!ok || in.count < 1)
                    return Usage(QStringLiteral("--count needs a positive whole number, not %1")
                                     .arg(parser.value(p.count)));
            }
            if (in.once && parser.isSet(p.count))
                return Usage(QStringLiteral("--once and --count do not go together"));
        }
        in.profilePath = in.words[0];
        const Checked<Params> profile = ReadProfile(in.profilePath);
        if (!profile)
            return ProfileError(in.profilePath, profile.reason);
        in.profile = *profile;
        // Each file the station writes is a file of its own: never the profile, never the other.
        if (SameFile(in.report, in.profilePath))
            return Usage(
                QStringLiteral("--report %1 leads to the profile %2").arg(in.report, in.profilePath));
        if (SameFile(in.junit, in.profilePath))
            return Usage(QStringLiteral("--junit %1 leads to the profile %2").arg(in.junit, in.profilePath));
        if (SameFile(in.junit, in.report))
            return Usage(QStringLiteral("--junit %1 leads to the report %2").arg(in.junit, in.report));
        // The console's lines would go in among the rows.
        for (const auto &[option, path] :
             {std::pair{"--report", in.report}, std::pair{"--junit", in.junit}}) {
            if (const QString stream = path.isEmpty() ? QString() : StandardStreamOnto(path);
                !stream.isEmpty())
                return Usage(QStringLiteral("%1 %2 is where %3 goes; send the console's lines elsewhere")
                                 .arg(QLatin1String(option), path, stream));
        }
        return in.dryRun ? DryRunCommand(in) : command->run(in);
    }

    // One unit.
    if (in.ports.size() > 1)
        return Usage(QStringLiteral("%1 takes one --port").arg(in.name));
    // The values of a write are checked before the port is even looked for.
    if (in.name == QLatin1String("write")) {
        if (parser.isSet(p.from)) {
            if (!in.words.isEmpty())
                return Usage(QStringLiteral("write takes KEY=VALUE words or --from, not both"));
            in.from = parser.value(p.from);
            const Checked<Params> profile = ReadProfile(in.from);
            if (!profile)
                return ProfileError(in.from, profile.reason);
            in.profile = *profile;
        } else {
            const Checked<Assignments> checked = ParseAssignments(in.words);
            if (!checked)
                return Usage(checked.reason);
            for (std::size_t k = 0; k < kParamCount; ++k) {
                if (!checked->named[k])
                    return Usage(
                        QStringLiteral("write needs all six keys; '%1' is missing").arg(kParams[k].key));
            }
            in.profile = checked->params;
        }
    }
    if (in.ports.isEmpty()) {
        const std::optional<PortRef> remembered = RememberedPortRef(&error);
        if (!remembered)
            return Usage(error);
        in.ports << *remembered;
    }
    return command->run(in);
}

}  // namespace

int Run(const QStringList &arguments)
{
    // Errors in English whatever the locale, the serial control's numbered ones included.
    static QTranslator english;
    if (english.load(QStringLiteral(":/i18n/kv306_en.qm")))
        QCoreApplication::installTranslator(&english);
    CatchStopSignals();
    return FinalCode(RunCommand(arguments));
}

}  // namespace kv306::ctl
