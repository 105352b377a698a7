// kv306: sets up and operates a KV306 circular-crosshair video overlay unit over a serial line.
#include "link/output_file.h"
#include "panel/language.h"
#include "panel/main_window.h"
#include "panel/qt_toolkit.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <string_view>

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
    // Answered before any display is needed.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version" || arg == "-v") {
            std::printf("kv306 %s\n", KV306_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
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
