// kv306ctl: the KV306 from a terminal and from scripts; `kv306ctl --help` lists the commands.
#include "ctl/ctl.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv306ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV306_VERSION));
    return kv306::ctl::Run(QCoreApplication::arguments().mid(1));
}
