#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kv306 {

// The few things the link asks of its operating system that each system answers its own way,
// one file a system: system_posix.cpp, system_win.cpp. (The serial device, who may open a port
// and files written have their own pairs of files.)

// Where COMn is, when the system names its ports itself ("COM3" on Windows); nothing where the
// tool maps port numbers to devices (link/port_map.h).
std::optional<QString> SystemPortName(int number);

// Whether this user may make files in `folder` (asked with the effective user, as a write would
// be).
bool MayCreateFilesIn(const QString &folder);

// The folder the system keeps users' settings in when it has one of its own (%APPDATA% on
// Windows); empty where the XDG rule serves.
QString SystemSettingsRoot();

// Why the window would have no display to open on (no DISPLAY nor WAYLAND_DISPLAY, or an X
// display whose socket is not there), for the platform the command line or QT_QPA_PLATFORM asks
// for; nothing when there is one, or when the platform needs none (offscreen, vnc ...).
std::optional<QString> MissingDisplay(const QStringList &arguments);

// The system's timer at its finest while one lives: a sleep of a millisecond then lasts one,
// not a 15.6 ms tick (Windows).
class FineTimer {
public:
    FineTimer();
    ~FineTimer();
    FineTimer(const FineTimer &) = delete;
    FineTimer &operator=(const FineTimer &) = delete;
};

}  // namespace kv306
