// The reading of Com.TXT fed arbitrary content: it names COM1 to COM20, a port behind a serial
// device server, or nothing, and what it names reads back the same once written.
#include "link/network_port.h"
#include "link/port_file.h"
#include "link/port_map.h"

#include <cstdlib>

using namespace kv306;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<QString> name = ParsePortFile(content).value;
    if (!name)
        return 0;
    const int number = PortNumberOfName(*name);
    const bool com = number >= 1 && number <= 20 && PortNameOfNumber(number) == *name;
    const Checked<NetworkPort> server = ParseNetworkPort(*name);
    if (!com && !(server && server->Name() == *name))
        std::abort();
    if (ParsePortFile('"' + name->toUtf8() + "\"\r\n").value != name)
        std::abort();
    return 0;
}
