// kv306: sets up and operates a KV306 circular-crosshair video overlay unit over a serial line.
#include "panel/form1.h"
#include "panel/qt_toolkit.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv306"));
    kv306::QtToolkit toolkit;
    kv306::Form1 form(toolkit);
    toolkit.SetOwner(&form);
    if (!form.Load())
        return 0;
    form.show();
    return QApplication::exec();
}
