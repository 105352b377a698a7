// kv306: sets up and operates a KV306 circular-crosshair video overlay unit over a serial line.
#include "panel/language.h"
#include "panel/main_window.h"
#include "panel/qt_toolkit.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv306"));
    kv306::UseLanguage(kv306::ChosenLanguage());
    kv306::QtToolkit toolkit;
    kv306::MainWindow window(toolkit);
    toolkit.SetOwner(&window);
    if (!window.Form().Load())
        return 0;
    window.show();
    return QApplication::exec();
}
