#pragma once
// Registry files and saved pictures are regular files, but under their names something else may
// stand: a folder, a FIFO, a device or a socket. Opening a FIFO to read waits for a writer that may
// never come; saving would replace the FIFO or device with a file, or pour the data into the
// device. Both are refused, with what was found.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace orvalis {

// Opens `file` (its name set) for reading at once, and only when it is a regular file (a symbolic
// link counts as what it points to). Throws OrvalisError "Cannot open file <name>: <why>".
void openRegularFile(QFile &file);
// The same without throwing: an empty text when `file` is open, else why not ("It is a FIFO (named
// pipe), not a regular file." or the system's reason).
QString openIfRegular(QFile &file);

// "It is a folder, not a regular file." for whatever stands at `path` that is no regular file (a
// symbolic link counts as what it points to); empty for a regular file or a name not taken.
QString notRegularFile(const QString &path);

// A name to save under must be new or name a regular file. Throws OrvalisError
// "Cannot create file <name>\r\n<what it is>" otherwise, leaving what is there untouched.
void checkSaveTarget(const QString &path);

// The one way every file the programs save is written: checked as above, written beside its name
// and put in its place only when every byte reached the disk, so that a failure leaves the file
// that was there before and no empty or cut-off one. Throws OrvalisError
// "Cannot create file <name>\r\n<the system's reason>".
void saveWholeFile(const QString &path, const QByteArray &bytes);

} // namespace orvalis
