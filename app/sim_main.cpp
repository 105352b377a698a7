// kv306-sim: a simulated KV306 on a pseudo-terminal, for training and for testing without a unit.
#include "link/output_file.h"
#include "sim/sim_unit.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTranslator>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <fcntl.h>

namespace {

void PrintHelp()
{
    std::printf("Usage: kv306-sim [options]\n"
                "A simulated KV306 overlay unit on a pseudo-terminal. Runs until interrupted.\n\n"
                "  --port-dir DIR     make DIR/COMn a link to the unit's terminal (removed on exit)\n"
                "  --com N            the port number n of that link, 1 to 20 (default 1)\n"
                "  --instant          answer at once instead of at the pace of a 9600-baud line\n"
                "  --delay MS         wait MS milliseconds before each reply (default 0)\n"
                "  --fault NAME       misbehave: ");
    for (const std::string &name : kv306::sim::FaultNames())
        std::printf("%s ", name.c_str());
    std::printf("\n  --trickle-gap MS   gap between the bytes of a trickling reply (default 300)\n"
                "  --power-cycle MS   be on for MS milliseconds, then off (silent) as long, and\n"
                "                     come back with the factory values: a new unit each time\n"
                "  --help             show this text\n"
                "  --requests FILE    on exit, write every request received to FILE, one a line\n"
                "  --version          show the version\n\n"
                "Without --port-dir the terminal's path is printed; open it as the serial port.\n");
}

bool ParseInt(const char *text, int low, int high, int *out)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!text[0] || *end || v < low || v > high)
        return false;
    *out = static_cast<int>(v);
    return true;
}

int Usage(const std::string &message)
{
    std::fprintf(stderr, "kv306-sim: %s (see --help)\n", message.c_str());
    return 2;
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
    kv306::sim::SimOptions options;
    std::string portDir;
    std::string requestsFile;
    int com = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--version") {
            std::printf("kv306-sim %s\n", KV306_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "--instant") {
            options.linePace = false;
        } else if (arg == "--port-dir") {
            const char *v = value();
            if (!v)
                return Usage("--port-dir needs a directory");
            portDir = v;
        } else if (arg == "--com") {
            const char *v = value();
            if (!v || !ParseInt(v, 1, 20, &com))
                return Usage("--com needs a number from 1 to 20");
        } else if (arg == "--delay") {
            const char *v = value();
            if (!v || !ParseInt(v, 0, 60000, &options.replyDelayMs))
                return Usage("--delay needs milliseconds from 0 to 60000");
        } else if (arg == "--trickle-gap") {
            const char *v = value();
            if (!v || !ParseInt(v, 0, 60000, &options.trickleGapMs))
                return Usage("--trickle-gap needs milliseconds from 0 to 60000");
        } else if (arg == "--power-cycle") {
            const char *v = value();
            if (!v || !ParseInt(v, 100, 3600000, &options.powerCycleMs))
                return Usage("--power-cycle needs milliseconds from 100 to 3600000");
        } else if (arg == "--requests") {
            const char *file = value();
            if (!file)
                return Usage("--requests needs a file");
            requestsFile = file;
        } else if (arg == "--fault") {
            const char *v = value();
            const auto fault = v ? kv306::sim::FaultByName(v) : std::nullopt;
            if (!fault)
                return Usage("--fault needs one of the names that --help lists");
            options.fault = *fault;
        } else {
            return Usage("unknown option " + arg);
        }
    }

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

    kv306::sim::SimUnit unit(options);
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
