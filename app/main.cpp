// kv306: sets up and operates a KV306 circular-crosshair video overlay unit over a serial line.
#include "link/output_file.h"
#include "link/system.h"
#include "panel/language.h"
#include "panel/main_window.h"
#include "panel/qt_toolkit.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

namespace {

constexpr char kHelp[] = R"(Usage: kv306 [--version] [--help]

Sets up and operates a KV306 circular-crosshair video overlay unit over a serial line: the
window. It takes no arguments; Qt's own options (-platform, -style ...) are passed through.
kv306ctl does the same from a terminal and from scripts.

  --version   print the version and exit
  --help      print this text and exit
)";

}  // namespace

int main(int argc, char **argv)
{
    kv306::ReopenClosedStandardStreams();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Answered before any display is needed. Qt's own options (-platform, -reverse ...) are the
    // application's to read: not refused here, and never taken for -v or -h.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption version(QStringList{QStringLiteral("version"), QStringLiteral("v")});
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({version, help});
    (void)parser.parse(arguments);
    if (parser.isSet(version)) {
        std::printf("kv306 %s\n", KV306_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    // Without a display Qt aborts with advice that does not fit ("reinstalling the application").
    if (const std::optional<QString> why = kv306::MissingDisplay(arguments)) {
        std::fprintf(
            stderr,
            "kv306: no display to open the window on (%s).\n"
            "Run it on a desktop, or: scripts/run (starts a virtual display and a simulated unit),\n"
            "xvfb-run kv306, or DISPLAY=:0 kv306 where display :0 is yours.\n"
            "kv306：没有可以打开窗口的显示器（%s）。请在桌面上运行，或使用 scripts/run、xvfb-run kv306。\n",
            qPrintable(*why), qPrintable(*why));
        return 1;
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv306"));
#ifdef Q_OS_WIN
    // Windows' own dialog font has no Chinese, so boxes, menus and the status line would mix
    // families with the controls (under Wine most of all): all of them take the controls' font.
    QFont font = QApplication::font();
    font.setFamilies(kv306::Form1::FontFamilies());
    font.setPointSize(9);
    QApplication::setFont(font);
#endif
    kv306::UseLanguage(kv306::ChosenLanguage());
    kv306::QtToolkit toolkit;
    kv306::MainWindow window(toolkit);
    toolkit.SetOwner(&window);
    if (!window.Form().Load())
        return 0;
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.ReadAtStart(); });
    return QApplication::exec();
}
