#pragma once

#include "support/hex.h"

#include "sim/sim_unit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

namespace kv306::test {

// A private port directory (KV306_PORT_DIR) with simulated units on chosen port numbers, so a
// test never touches the host's serial ports.
class SimPorts {
public:
    // The folder of the ports that COMn names in this process, the one before given back after.
    SimPorts() : before_(qgetenv("KV306_PORT_DIR")) { qputenv("KV306_PORT_DIR", dir_.path().toLocal8Bit()); }
    ~SimPorts()
    {
        units_.clear();
        if (before_.isEmpty())
            qunsetenv("KV306_PORT_DIR");
        else
            qputenv("KV306_PORT_DIR", before_);
    }

    sim::SimUnit &Add(int com, sim::SimOptions options = Instant())
    {
        auto unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        if (!unit->Start(LinkPath(com).toStdString(), &error))
            qFatal("simulated unit on COM%d: %s", com, error.c_str());
        auto &ref = *unit;
        units_[com] = std::move(unit);
        return ref;
    }
    sim::SimUnit &Unit(int com) { return *units_.at(com); }
    // A port name whose device has gone: a link to nothing.
    void AddDangling(int com) { QFile::link(QStringLiteral("/dev/kv306-gone-%1").arg(com), LinkPath(com)); }
    void Remove(int com) { units_.erase(com); }
    bool Has(int com) const { return units_.count(com) > 0; }
    QString LinkPath(int com) const { return dir_.filePath(QStringLiteral("COM%1").arg(com)); }
    QString Path() const { return dir_.path(); }

    static sim::SimOptions Instant()
    {
        sim::SimOptions o;
        o.linePace = false;
        return o;
    }
    static sim::SimOptions LinePace() { return sim::SimOptions{}; }

private:
    QByteArray before_;
    QTemporaryDir dir_;
    std::map<int, std::unique_ptr<sim::SimUnit>> units_;
};

// The complete frames a simulated unit received, each as "55 D0 A3 00 FF 01 8D".
inline QStringList RequestFrames(const sim::SimUnit &unit)
{
    QStringList frames;
    for (const sim::Bytes &f : unit.Requests())
        frames << QString::fromLatin1(Hex(f));
    return frames;
}

}  // namespace kv306::test
