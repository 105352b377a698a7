#pragma once

#include "link/checked.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>

namespace kv306 {

// Files the tool writes for the operator: profile exports, the traffic log, the station's report
// and its JUnit file, the simulator's requests file. One rule for all of them, whichever front end asks:
//
//   - a name that is there is written as it is (no ending added: /dev/full stays /dev/full);
//   - a symbolic link is written through and stays a link; one that leads nowhere is refused;
//   - anything that is not a plain file (a folder, a named pipe, a socket, a device node such as
//     /dev/null or a terminal) is refused with the reason, never replaced or written into;
//   - a file written whole (a profile, the log, the JUnit file) is written aside and renamed over
//     the old one, so a failed write leaves the old file as it was; a file rows are appended to
//     (the report) takes each row whole or not at all (AppendFile below).
//
// Com.TXT and kv306.conf, the tool's own settings, follow the same rule with one difference each
// (link/port_file.h: a Com.TXT that is a link is never written through; panel/program_files.h: a
// kv306.conf that is no plain file is left alone and the defaults serve).

struct SaveTarget {
    QString path;     // where to write; empty when refused
    QString refusal;  // why not, in the window's language
    bool suffixAdded = false;
};
// Where a file the operator named goes. A name without an ending gets `suffix` only when nothing
// of that name exists.
SaveTarget ChooseSaveTarget(const QString &chosen, const QString &suffix = {});
// Writes `content` to a target chosen so, whole or not at all; the reason when it could not.
Done SaveToTarget(const SaveTarget &target, const QByteArray &content);
// How every file of the tool is written whole: aside, then renamed over the old one, so a failed
// write leaves the old file as it was. `inPlaceWhenRefused`: where the folder refuses new files
// but the file may be written, it is written in place (Com.TXT in a folder the user may not
// add to). The reason when it could not be written.
Done WriteWhole(const QString &path, const QByteArray &content, bool inPlaceWhenRefused = false);

// What the system says of names, one file a system (output_file_posix.cpp, output_file_win.cpp):
// what the thing at `path` is, when it is there and no plain file ("/dev/null 是设备文件"), empty
// for a plain file or nothing at all; whether two names that are there are one file (hard links
// too); whether names differ by case.
QString NotPlainFile(const QString &path);
bool SameNode(const QString &a, const QString &b);
Qt::CaseSensitivity FileNameCase();

// Whether two names lead to one file, whether or not it is there yet: links followed (also one
// that leads to a file still to be made), relative names taken from the current folder, and two
// hard links to one file.
bool SameFile(const QString &a, const QString &b);
// The name a file is reached by, links followed as SameFile follows them (in one case where the
// system ignores case): two names with one such name are one file.
QString FileIdentity(const QString &path);

// Which of standard output and error leads to the file at `path` ("standard output", "standard
// error"), or empty for neither: a file the tool writes rows to must not also take its console
// lines.
QString StandardStreamOnto(const QString &path);

// Files the tool reads (a report, a profile): only a plain file is opened, as a named pipe would
// keep the open waiting for a writer for ever, and a device would be read without end. Why not,
// when it is no plain file or cannot be opened.
Done OpenToRead(QFile &file);

// Standard input, output and error that were closed when the program started are opened on the
// null device, so that the next file the program opens cannot take their place and receive its
// console text (a report started with ">&-" would hold the station's own lines). Called first
// thing in main, before anything else is opened.
void ReopenClosedStandardStreams();

// The system's own words for an error number of the C library ("No space left on device").
QString SystemReason(int errorNumber);

// A file rows are appended to, by this process and maybe by others at the same time (two
// stations on one report). Each append is made whole or not at all: a write the disk refuses
// half-way is cut back, so no fragment of a row is left behind for the next reader to count.
class AppendFile {
public:
    AppendFile();
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    // Opens (or creates) a plain file; the system's reason when it cannot.
    Done Open(const QString &path);
    void Close();
    bool IsOpen() const;
    QString Path() const { return path_; }

    // Holds the other appenders off (they wait) until Unlock; between them, the file's size and
    // content are this process's to read and to add to.
    Done Lock();
    void Unlock();
    // The name still leads to the open file: it was not deleted, moved away or replaced.
    bool StillThere() const;
    qint64 Size() const;
    // The bytes from `offset` to the end.
    Checked<QByteArray> ReadFrom(qint64 offset) const;
    // Adds `bytes` at the end and makes them safe on the disk, or leaves the file as it was and
    // says the system's reason ("No space left on device").
    Done AppendWhole(const QByteArray &bytes);

private:
    struct System;
    std::unique_ptr<System> system_;
    QString path_;
};

}  // namespace kv306
