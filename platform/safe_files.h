#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;

// File calls for places that someone else may have prepared: they never
// write through a link, never block on a FIFO or a device, and never put a
// file in the place of anything but a regular file. Failures come back as
// a false or empty result with the system's reason in `error`. One
// implementation per system, chosen by the build (safe_files_unix.cpp).
class TSafeFiles
{
public:
    enum class TKind
    {
        Missing,
        Regular,
        Directory,
        Other, // a link (whatever it points to), a FIFO, a device, a socket
    };
    // What the path itself names; a link is not followed.
    static TKind KindAt(const QString& path);

    enum class TReadOutcome
    {
        NoFile, // missing, or not a regular file (FIFO, device, folder)
        Read,
        Failed,
    };
    struct TRead
    {
        TReadOutcome outcome = TReadOutcome::NoFile;
        QByteArray bytes;
        QString error;
    };
    // Reads at most `maxBytes` of the regular file at `path` (also when
    // reached through a link); never waits for a writer.
    static TRead ReadRegular(const QString& path, qint64 maxBytes);

    // Creates a new, empty file, open for reading and writing. Fails when
    // anything, a link included, is already at `path`.
    static std::unique_ptr<QFile> CreateNew(const QString& path, QString* error);

    // Writes `bytes` into a new file beside `path` and renames it over
    // `path`: what was there (a regular file, a link, a FIFO) is replaced as
    // a whole and a link's target is never written. Fails on a folder, and
    // then leaves everything as it was.
    static bool Replace(const QString& path, const QByteArray& bytes, QString* error);

    // Renames the regular file `from` to `to` when `to` is missing or a
    // regular file.
    static bool RenameOverRegular(const QString& from, const QString& to, QString* error);

    // Removes what is at `path`, a link itself rather than its target;
    // refuses a folder. A missing entry counts as removed.
    static bool Remove(const QString& path, QString* error);
};
