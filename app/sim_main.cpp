// kv306-sim: a simulated KV306 on a pseudo-terminal, for training and for testing without a unit.
#include "link/output_file.h"
#include "link/word_wrap.h"
#include "sim/sim_unit.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTranslator>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>

#include <fcntl.h>

namespace {

int Usage(const std::string &message)
{
    std::fprintf(stderr, "kv306-sim: %s (see --help)\n", message.c_str());
    return 2;
}

// What the options set.
struct Settings {
    kv306::sim::SimOptions unit;
    std::string portDir;
    std::string requestsFile;
    int com = 1;
};

// The table of options: one row an option, driving parsing, the refusals and --help.
struct OptionRow {
    const char *name;
    const char *value;  // the value's name; nullptr for a switch
    const char *help;
    // Takes the value (or, for a switch, is told it was given); the refusal's words, or nothing.
    std::optional<std::string> (*take)(Settings &settings, const QString &value);
};

// A whole number from `low` to `high`, into `out`.
bool Number(const QString &text, int low, int high, int &out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    out = v;
    return true;
}

std::string FaultNames()
{
    std::string names;
    for (const std::string &name : kv306::sim::FaultNames())
        names += (names.empty() ? "" : " ") + name;
    return names;
}

const OptionRow kOptions[] = {
    {"port-dir", "DIR", "make DIR/COMn a link to the unit's terminal (removed on exit)",
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         s.portDir = v.toStdString();
         return std::nullopt;
     }},
    {"com", "N", "the port number n of that link, 1 to 20 (default 1)",
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         return Number(v, 1, 20, s.com) ? std::nullopt : std::optional<std::string>("a number from 1 to 20");
     }},
    {"instant", nullptr, "answer at once instead of at the pace of a 9600-baud line",
     [](Settings &s, const QString &) -> std::optional<std::string> {
         s.unit.linePace = false;
         return std::nullopt;
     }},
    {"delay", "MS", "wait MS milliseconds before each reply (default 0)",
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         return Number(v, 0, 60000, s.unit.replyDelayMs)
                    ? std::nullopt
                    : std::optional<std::string>("milliseconds from 0 to 60000");
     }},
    {"fault", "NAME", nullptr,  // misbehave: the names, from the simulator's own list
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         const auto fault = kv306::sim::FaultByName(v.toStdString());
         if (!fault)
             return "one of the names that --help lists";
         s.unit.fault = *fault;
         return std::nullopt;
     }},
    {"trickle-gap", "MS", "gap between the bytes of a trickling reply (default 300)",
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         return Number(v, 0, 60000, s.unit.trickleGapMs)
                    ? std::nullopt
                    : std::optional<std::string>("milliseconds from 0 to 60000");
     }},
    {"power-cycle", "MS",
     "be on for MS milliseconds, then off (silent) as long, and come back with the factory values: a new "
     "unit each time",
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         return Number(v, 100, 3600000, s.unit.powerCycleMs)
                    ? std::nullopt
                    : std::optional<std::string>("milliseconds from 100 to 3600000");
     }},
    {"requests", "FILE", "on exit, write every request received to FILE, one a line",
     [](Settings &s, const QString &v) -> std::optional<std::string> {
         s.requestsFile = v.toStdString();
         return std::nullopt;
     }},
};

std::string OptionHelp(const OptionRow &o)
{
    return o.help ? o.help : "misbehave: " + FaultNames();
}

void PrintHelp()
{
    std::string text = "Usage: kv306-sim [options]\n"
                       "A simulated KV306 overlay unit on a pseudo-terminal. Runs until interrupted.\n\n";
    const auto row = [&text](const std::string &left, const std::string &help) {
        text += kv306::Wrapped(QStringLiteral("  %1  ").arg(QString::fromStdString(left), -17),
                               QString::fromStdString(help))
                    .toStdString();
    };
    for (const OptionRow &o : kOptions)
        row(std::string("--") + o.name + (o.value ? std::string(" ") + o.value : ""), OptionHelp(o));
    row("--help", "show this text");
    row("--version", "show the version");
    text += "\nWithout --port-dir the terminal's path is printed; open it as the serial port.\n";
    std::fputs(text.c_str(), stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    // Closed standard streams are opened on /dev/null first: the unit's terminal must not take
    // their numbers and receive what the simulator prints.
    kv306::ReopenClosedStandardStreams();
    // The reasons a file is refused come in English, as kv306ctl's.
    QCoreApplication application(argc, argv);
    QTranslator english;
    if (english.load(QStringLiteral(":/i18n/kv306_en.qm")))
        QCoreApplication::installTranslator(&english);
    QCommandLineParser parser;
    std::deque<QCommandLineOption> options;
    for (const OptionRow &o : kOptions) {
        options.emplace_back(QString::fromLatin1(o.name), QString(),
                             o.value ? QString::fromLatin1(o.value) : QString());
        parser.addOption(options.back());
    }
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser.errorText().toStdString());
    if (parser.isSet(version)) {
        std::printf("kv306-sim %s\n", KV306_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        PrintHelp();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return Usage("unknown option " + parser.positionalArguments().constFirst().toStdString());
    Settings settings;
    for (std::size_t i = 0; i < std::size(kOptions); ++i) {
        const OptionRow &o = kOptions[i];
        if (!parser.isSet(options[i]))
            continue;
        const QStringList values = parser.values(options[i]);
        if (values.size() > 1)
            return Usage(std::string("--") + o.name + " given twice");
        if (const std::optional<std::string> refused = o.take(settings, values.value(0)))
            return Usage(std::string("--") + o.name + " needs " + *refused);
    }
    kv306::sim::SimOptions &options_ = settings.unit;
    const std::string &portDir = settings.portDir;
    const std::string &requestsFile = settings.requestsFile;
    const int com = settings.com;

    // The requests file follows the rule of every file the tool writes: refused here, before the
    // unit starts, when it can never be written (a folder, a pipe, a device).
    kv306::SaveTarget requests;
    if (!requestsFile.empty()) {
        requests = kv306::ChooseSaveTarget(QString::fromStdString(requestsFile));
        if (requests.path.isEmpty())
            return Usage("--requests " + requestsFile + ": " + requests.refusal.toStdString());
    }

    // Block the stop signals before the unit's thread starts, then wait for one here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // The ports folder is made when it is not there yet, as `--port-dir /tmp/ports` promises.
    std::error_code made;
    if (!portDir.empty())
        std::filesystem::create_directories(portDir, made);
    if (made) {
        std::fprintf(stderr, "kv306-sim: cannot make the ports folder %s: %s\n", portDir.c_str(),
                     made.message().c_str());
        return 1;
    }

    kv306::sim::SimUnit unit(options_);
    const std::string link = portDir.empty() ? std::string() : portDir + "/COM" + std::to_string(com);
    std::string error;
    if (!unit.Start(link, &error)) {
        std::fprintf(stderr, "kv306-sim: %s\n", error.c_str());
        return 1;
    }
    if (link.empty())
        std::printf("kv306-sim: unit on %s\n", unit.TerminalPath().c_str());
    else
        std::printf("kv306-sim: COM%d is %s -> %s\n", com, link.c_str(), unit.TerminalPath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    unit.Unplug();
    if (!requests.path.isEmpty()) {
        // One request a line, in hex, for whoever checks what a program sent.
        QByteArray text;
        for (const auto &request : unit.Requests()) {
            text += QByteArray(reinterpret_cast<const char *>(request.data()),
                               static_cast<qsizetype>(request.size()))
                        .toHex(' ')
                        .toUpper();
            text += '\n';
        }
        if (const kv306::Done why = kv306::SaveToTarget(requests, text); !why) {
            std::fprintf(stderr, "kv306-sim: the requests could not be written to %s: %s\n",
                         requestsFile.c_str(), why.reason.toUtf8().constData());
            return 1;
        }
    }
    return 0;
}
