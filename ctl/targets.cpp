#include "ctl/ctl_internal.h"

#include "link/port_file.h"
#include "link/port_map.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <memory>

namespace kv306::ctl {

std::optional<QList<PortRef>> PortsOf(const QStringList &words, QString *error)
{
    QList<PortRef> named;
    for (const QString &word : words) {
        const Checked<PortRef> port = PortRef::Read(word);
        if (!port) {
            *error = port.reason;
            return std::nullopt;
        }
        named << *port;
    }
    if (named.size() > 1)
        PortRef::LookUpServers(named);
    // The same unit twice would get two writers at once. Two links to one device are one
    // port, also while the device is not there yet.
    QList<PortRef> ports;
    for (const PortRef &port : std::as_const(named)) {
        for (const PortRef &earlier : std::as_const(ports)) {
            if (earlier.SameAs(port)) {
                *error = QStringLiteral("%1 and %2 are the same port").arg(earlier.Label(), port.Label());
                return std::nullopt;
            }
        }
        ports << port;
    }
    return ports;
}

std::optional<PortRef> RememberedPortRef(QString *error)
{
    const RememberedPort file = ReadRememberedPort(PortFileToRead(QCoreApplication::applicationDirPath()));
    const QString shown = QDir::toNativeSeparators(file.path);
    if (!file.exists) {
        *error =
            QStringLiteral("no --port given, and no port chosen yet (there is no %1); try: kv306ctl ports")
                .arg(shown);
        return std::nullopt;
    }
    if (!file.name) {
        *error = QStringLiteral("no --port given, and %1 names no port: %2; try: kv306ctl ports")
                     .arg(shown, file.problem);
        return std::nullopt;
    }
    const Checked<PortRef> port = PortRef::Read(*file.name);
    if (!port) {
        *error = port.reason;
        return std::nullopt;
    }
    return *port;
}

std::vector<std::optional<Outcome>> OnEveryPort(const QList<PortRef> &ports,
                                                const std::function<Outcome(const PortRef &)> &work)
{
    // Each thread writes only its own element.
    std::vector<std::optional<Outcome>> outcomes(static_cast<std::size_t>(ports.size()));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < ports.size(); ++i) {
        threads.emplace_back(QThread::create([&work, &ports, &outcomes, i] {
            if (!Stopped())
                outcomes[static_cast<std::size_t>(i)] = work(ports[i]);
        }));
        threads.back()->start();
    }
    for (auto &t : threads)
        t->wait();
    return outcomes;
}

}  // namespace kv306::ctl
