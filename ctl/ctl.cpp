#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "link/output_file.h"
#include "link/tls_stream.h"
#include "protocol/line_store.h"
#include "protocol/params_text.h"
#include "protocol/station.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTranslator>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <tuple>

namespace kv306::ctl {

namespace {

// What a command does with --port.
enum class PortRule {
    Looks,       // the ports to look at; without --port, every port there is
    One,         // one unit; without --port, the port Com.TXT remembers
    AtLeastOne,  // every unit named, at least one
    None,        // no port: the command reads a file
};

// A command's own checks of its command line, after those every command gets: a usage error's
// message, or nothing.
using Check = std::optional<QString> (*)(Invocation &in);
std::optional<QString> CheckWrite(Invocation &in);
std::optional<QString> CheckStation(Invocation &in);

// The table of commands: dispatch, their own checks, --help. Which options each takes is the
// options' table's to say (kOptions).
struct CommandSpec {
    const char *name;
    const char *usage;
    const char *help;
    PortRule ports;
    bool profile;  // its first word is a PROFILE
    int (*run)(const Invocation &);
    Check check = nullptr;
};

constexpr CommandSpec kCommands[] = {
    {"ports", "ports",
     "COM1..COM20 that exist: name, device, state, adapter; with --port only those; --names: the "
     "names alone, opening nothing",
     PortRule::Looks, false, PortsCommand},
    {"read", "read", "the unit's six parameters", PortRule::One, false, ReadCommand},
    {"write", "write KEY=VALUE...", "all six keys; or: write --from PROFILE", PortRule::One, false,
     WriteCommand, CheckWrite},
    {"set", "set KEY=VALUE...", "read, change the named keys, write, read back and compare", PortRule::One,
     false, SetCommand},
    {"toggle", "toggle overlay|crosshair", "switch the overlay or its crosshair; prints the unit's echo",
     PortRule::One, false, ToggleCommand},
    {"step", "step KEY up|down [COUNT]",
     "KEY horizontal, vertical or size; up raises the value by one, down lowers it; prints each new value. "
     "(The "
     "window's vertical arrow that points up lowers the value: it moves the picture up.)",
     PortRule::One, false, StepCommand},
    {"probe", "probe",
     "send a read to each free port (with --port: to those only); list those a unit answers on",
     PortRule::Looks, false, ProbeCommand},
    {"apply", "apply PROFILE --port A [--port B ...]", "write and verify the profile on every port at once",
     PortRule::AtLeastOne, true, ApplyCommand},
    {"verify", "verify PROFILE --port A [--port B ...]",
     "read every unit (nothing is written) and compare it with the profile: one line a unit, then a summary",
     PortRule::AtLeastOne, true, VerifyCommand},
    {"station", "station PROFILE --port A [--port B ...] --report FILE [--junit FILE]",
     "a production line's set-up station: on every port wait for a unit to answer, apply and verify the "
     "profile, append its row to the CSV report, wait for the unit to go; one line a unit (\"COM3 #17 pass "
     "1.2 s\") until stopped, --count N units, or --once (what is there now)",
     PortRule::AtLeastOne, true, StationCommand, CheckStation},
    {"report", "report FILE... [--since TIME] [--until TIME]",
     "stations' reports read back together: units, pass, fail, error, first-pass yield, units set up more "
     "than once, units an hour and what failed, for the whole and for each slot, operator, lot and "
     "station; or, with --store URL, the same of every station's rows in the line's database",
     PortRule::None, false, ReportCommand},
    {"upload", "upload FILE... --store URL",
     "send the rows of station reports that the line's database does not hold yet (a row sent twice is "
     "stored once)",
     PortRule::None, false, UploadCommand},
    {"store", "store init URL", "make the line's table, kv306.rows, in a PostgreSQL database", PortRule::None,
     false, StoreCommand},
};

const CommandSpec *CommandNamed(const QString &name)
{
    for (const CommandSpec &c : kCommands) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

// The table of options: one row an option, driving parsing, the refusal of an option its command
// does not take or of a value given twice, --help, and (through --help) the completion's list.
struct OptionSpec {
    const char *name;
    const char *value;  // the value's name; nullptr for a switch
    const char *help;
    const char *commands;  // the commands that take it, "" for every command
    bool many = false;     // may be given more than once
};

// The commands that open ports.
constexpr char kPortCommands[] = "ports read write set step toggle probe apply verify station";

constexpr OptionSpec kOptions[] = {
    {"port", "PORT",
     "the unit's port (COMn, a device, rfc2217://HOST:PORT or socket://HOST:PORT, or either +tls)", "", true},
    {"json", nullptr, "print one JSON document", ""},
    {"trace", nullptr,
     "each frame sent and received on standard error, with its time, its bytes and their meaning", ""},
    {"report", "FILE", "the CSV file each unit's row is appended to", "station"},
    {"junit", "FILE", "a JUnit XML file, rewritten after each unit", "station"},
    {"count", "N", "stop after N units", "station"},
    {"once", nullptr, "set up the units there now, then end", "station"},
    {"dry-run", nullptr, "say what would be sent; open nothing", "apply verify station"},
    {"from", "PROFILE", "the values of a profile", "write"},
    {"names", nullptr, "only the names of the ports there are; opens nothing", "ports"},
    {"scan", nullptr, "each unit's serial number, a line of standard input", "station"},
    {"operator", "NAME", "who runs it, in every row", "station"},
    {"lot", "LOT", "the lot: written in every row (station), or only its rows (report)", "station report"},
    {"since", "TIME", "rows from TIME on (ISO 8601)", "report"},
    {"until", "TIME", "rows up to TIME (ISO 8601)", "report"},
    {"station", "HOST", "only the rows of the station on this host", "report"},
    {"store", "URL",
     "the line's PostgreSQL database: a connection URI or service=NAME (the password in your pgpass or "
     "service file)",
     "station upload report"},
    {"tls-ca", "FILE",
     "the authorities a +tls port's server certificate is checked against (instead of the system's); "
     "KV306_TLS_CA",
     kPortCommands},
    {"tls-cert", "FILE", "our certificate, for a +tls server that asks for one; KV306_TLS_CERT",
     kPortCommands},
    {"tls-key", "FILE", "its private key, readable by its owner alone; KV306_TLS_KEY", kPortCommands},
};

// "station", "apply, verify, station": the commands an option belongs to.
QString CommandsOf(const OptionSpec &o)
{
    return QString::fromLatin1(o.commands).split(QLatin1Char(' ')).join(QStringLiteral(", "));
}

bool Takes(const OptionSpec &o, const QString &command)
{
    return !*o.commands || QString::fromLatin1(o.commands).split(QLatin1Char(' ')).contains(command);
}

// The command line read by the options' table.
class CommandLine {
public:
    CommandLine()
    {
        for (const OptionSpec &o : kOptions) {
            const QString help = *o.commands ? CommandsOf(o) + QStringLiteral(": ") + QLatin1String(o.help)
                                             : QString::fromLatin1(o.help);
            options_.emplace_back(QString::fromLatin1(o.name), help,
                                  o.value ? QString::fromLatin1(o.value) : QString());
            parser.addOption(options_.back());
        }
    }
    const QCommandLineOption &Option(const char *name) const
    {
        for (std::size_t i = 0; i < std::size(kOptions); ++i) {
            if (qstrcmp(kOptions[i].name, name) == 0)
                return options_[i];
        }
        Q_UNREACHABLE();
    }
    bool IsSet(const char *name) const { return parser.isSet(Option(name)); }
    QString Value(const char *name) const { return parser.value(Option(name)); }
    QStringList Values(const char *name) const { return parser.values(Option(name)); }

    // An option `command` does not take, or a value given twice: the usage error.
    std::optional<QString> Misplaced(const QString &command) const
    {
        for (std::size_t i = 0; i < std::size(kOptions); ++i) {
            const OptionSpec &o = kOptions[i];
            if (!parser.isSet(options_[i]))
                continue;
            if (!Takes(o, command)) {
                QStringList names = CommandsOf(o).split(QStringLiteral(", "));
                const QString last = names.takeLast();
                return QStringLiteral("--%1 belongs to %2")
                    .arg(QLatin1String(o.name),
                         names.isEmpty() ? last
                                         : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last);
            }
        }
        return std::nullopt;
    }
    std::optional<QString> GivenTwice() const
    {
        for (std::size_t i = 0; i < std::size(kOptions); ++i) {
            if (kOptions[i].value && !kOptions[i].many && parser.values(options_[i]).size() > 1)
                return QStringLiteral("--%1 given twice").arg(QLatin1String(kOptions[i].name));
        }
        return std::nullopt;
    }

    QCommandLineParser parser;

private:
    std::deque<QCommandLineOption> options_;  // kOptions' rows, in order
};

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
        "      device server: rfc2217://HOST:PORT or socket://HOST:PORT, or over TLS with the\n"
        "      server's certificate checked: rfc2217+tls://HOST:PORT or socket+tls://HOST:PORT.\n"
        "      Without --port, the port remembered in Com.TXT.\n\n");
    return text + ExitCodesText() +
           QStringLiteral("\nSee kv306ctl(1) for every option, the report's columns and examples.");
}

std::optional<QString> CheckWrite(Invocation &in)
{
    // The values of a write are checked before the port is even looked for.
    if (!in.from.isEmpty()) {
        if (!in.words.isEmpty())
            return QStringLiteral("write takes KEY=VALUE words or --from, not both");
        return std::nullopt;  // read with the other profiles
    }
    const Checked<Assignments> checked = ParseAssignments(in.words);
    if (!checked)
        return checked.reason;
    for (std::size_t k = 0; k < kParamCount; ++k) {
        if (!checked->named[k])
            return QStringLiteral("write needs all six keys; '%1' is missing").arg(kParams[k].key);
    }
    in.profile = checked->params;
    return std::nullopt;
}

std::optional<QString> CheckStation(Invocation &in)
{
    if (in.report.isEmpty())
        return QStringLiteral("station needs --report FILE");
    if (in.once && in.count > 0)
        return QStringLiteral("--once and --count do not go together");
    return std::nullopt;
}

// Each file a command writes is a file of its own: never a profile it reads, never the other,
// never where the console's lines go.
std::optional<QString> FilesApart(const Invocation &in)
{
    const std::pair<const char *, QString> written[] = {{"--report", in.report}, {"--junit", in.junit}};
    const std::pair<const char *, QString> read[] = {{"the profile", in.profilePath},
                                                     {"the profile", in.from}};
    for (const auto &[option, path] : written) {
        if (path.isEmpty())
            continue;
        for (const auto &[what, other] : read) {
            if (SameFile(path, other))
                return QStringLiteral("%1 %2 leads to %3 %4")
                    .arg(QLatin1String(option), path, QLatin1String(what), other);
        }
        // The console's lines would go in among the rows.
        if (const QString stream = StandardStreamOnto(path); !stream.isEmpty())
            return QStringLiteral("%1 %2 is where %3 goes; send the console's lines elsewhere")
                .arg(QLatin1String(option), path, stream);
    }
    if (SameFile(in.junit, in.report))
        return QStringLiteral("--junit %1 leads to the report %2").arg(in.junit, in.report);
    return std::nullopt;
}

int RunCommand(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser &parser = line.parser;
    parser.setApplicationDescription(HelpText());
    QStringList names;
    for (const CommandSpec &c : kCommands)
        names << QLatin1String(c.name);
    parser.addPositionalArgument(QStringLiteral("command"), names.join(QStringLiteral(", ")));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    // A negative step count would be taken for an option.
    static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));
    const auto isNegative = [](const QString &a) { return negative.match(a).hasMatch(); };
    const bool read = parser.parse(QStringList{QStringLiteral("kv306ctl")} + arguments);
    // Set before anything is refused, so that a refusal is a JSON document too.
    SetJsonMode(line.IsSet("json"));
    for (const QString &argument : arguments) {
        if (isNegative(argument))
            return Usage(QStringLiteral("COUNT must be a positive whole number, not %1").arg(argument));
    }
    if (!read)
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
    if (const std::optional<QString> twice = line.GivenTwice())
        return Usage(*twice);
    const CommandSpec *command = CommandNamed(words[0]);
    if (!command)
        return Usage(QStringLiteral("unknown command '%1'").arg(words[0]));
    if (const std::optional<QString> misplaced = line.Misplaced(words[0]))
        return Usage(*misplaced);

    if (line.IsSet("trace"))
        TraceFrames();
    Invocation in;
    in.name = words[0];
    in.words = words.mid(1);
    QString error;
    const std::optional<QList<PortRef>> ports = PortsOf(line.Values("port"), &error);
    if (!ports)
        return Usage(error);
    in.ports = *ports;
    in.dryRun = line.IsSet("dry-run");
    in.report = line.Value("report");
    in.junit = line.Value("junit");
    in.once = line.IsSet("once");
    in.scan = line.IsSet("scan");
    in.names = line.IsSet("names");
    in.from = line.Value("from");
    in.operatorName = line.Value("operator");
    in.lot = line.Value("lot");
    in.stationHost = line.Value("station");
    in.store = line.Value("store");
    if (line.IsSet("store")) {
        const Checked<QString> url = LineStore::CheckUrl(in.store);
        if (!url)
            return Usage(url.reason);
    }
    // Whom a +tls port trusts and who we are: the options, else the environment's.
    {
        TlsTrust trust;
        for (const auto &[option, variable, file] :
             {std::tuple{"tls-ca", "KV306_TLS_CA", &trust.caFile},
              std::tuple{"tls-cert", "KV306_TLS_CERT", &trust.certFile},
              std::tuple{"tls-key", "KV306_TLS_KEY", &trust.keyFile}})
            *file = line.IsSet(option) ? line.Value(option) : qEnvironmentVariable(variable);
        if (const Done usable = CheckTlsTrust(trust); !usable)
            return Usage(QStringLiteral("TLS: %1").arg(usable.reason));
        SetTlsTrust(trust);
    }
    if (line.IsSet("count")) {
        bool ok = false;
        in.count = line.Value("count").toInt(&ok);
        if (!ok || in.count < 1)
            return Usage(
                QStringLiteral("--count needs a positive whole number, not %1").arg(line.Value("count")));
    }
    for (const auto &[option, bound] : {std::pair{"since", &in.since}, std::pair{"until", &in.until}}) {
        if (!line.IsSet(option))
            continue;
        *bound = TimeOf(line.Value(option));
        if (!bound->isValid())
            return Usage(QStringLiteral("--%1 needs an ISO 8601 time (2026-12-08T06:00), not %2")
                             .arg(QLatin1String(option), line.Value(option)));
    }
    if (in.since.isValid() && in.until.isValid() && in.since > in.until)
        return Usage(QStringLiteral("--since %1 is later than --until %2")
                         .arg(line.Value("since"), line.Value("until")));
    // Who and which lot go into every row: one line of text each.
    for (const auto &[option, text] :
         {std::pair{"--operator", &in.operatorName}, std::pair{"--lot", &in.lot}}) {
        if (const QString why = Station::TextRefusal(*text); !why.isEmpty())
            return Usage(QStringLiteral("%1 '%2': %3").arg(QLatin1String(option), *text, why));
    }

    if (command->profile) {
        if (in.words.size() != 1)
            return Usage(QStringLiteral("%1 needs one PROFILE").arg(in.name));
        in.profilePath = in.words[0];
    }
    switch (command->ports) {
    case PortRule::None:
        if (!in.ports.isEmpty())
            return Usage(QStringLiteral("%1 takes no --port").arg(in.name));
        break;
    case PortRule::Looks: break;
    case PortRule::AtLeastOne:
        if (in.ports.isEmpty())
            return Usage(QStringLiteral("%1 needs at least one --port").arg(in.name));
        break;
    case PortRule::One:
        if (in.ports.size() > 1)
            return Usage(QStringLiteral("%1 takes one --port").arg(in.name));
        break;
    }
    if (command->check) {
        if (const std::optional<QString> refused = command->check(in))
            return Usage(*refused);
    }
    for (const QString &path : {in.profilePath, in.from}) {
        if (path.isEmpty())
            continue;
        const Checked<Params> profile = ReadProfile(path);
        if (!profile)
            return ProfileError(path, profile.reason);
        in.profile = *profile;
    }
    if (const std::optional<QString> clash = FilesApart(in))
        return Usage(*clash);
    if (in.dryRun)
        return DryRunCommand(in);
    if (command->ports == PortRule::One && in.ports.isEmpty()) {
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
