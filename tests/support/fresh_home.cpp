// Linked into every test program: a home folder of its own, made afresh and removed at the end,
// so that no test reads or writes the account's own ~/.config/kv306 (the remembered port, the
// ports folder, the window's settings) and a fresh account runs the suite as any other does.
// Programs the tests start (kv306ctl, kv306-sim) inherit it.
#include <QDir>
#include <QTemporaryDir>

namespace {

struct FreshHome {
    FreshHome()
    {
        const QByteArray home = dir.path().toLocal8Bit();
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/.config");
        qputenv("XDG_CACHE_HOME", home + "/.cache");
        qputenv("XDG_DATA_HOME", home + "/.local/share");
        // Where Windows keeps a user's settings.
        qputenv("APPDATA", QDir::toNativeSeparators(dir.path() + QStringLiteral("/AppData")).toLocal8Bit());
    }
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/kv306-home-XXXXXX")};
};

const FreshHome freshHome;

}  // namespace
