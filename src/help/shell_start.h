// Starting an external program, detached, and the texts that report a start
// that failed. Failures carry the system's error number (errno).
#pragma once

#include <QString>
#include <QStringList>

namespace velmora::help {

// Starts `program` with `arguments` detached from this process. Returns 0 when
// it started, else an error number: the program can't be found (ENOENT), a
// folder on its path is not one (ENOTDIR), it may not be run (EACCES), it is
// no program (ENOEXEC), and so on.
int StartDetachedProgram(const QString& program, const QStringList& arguments);

// The message for an error number: "File Not Found", "Access Denied", ...,
// "General Failure" for anything without its own.
QString ShellErrorMessage(int code);

// "[Error:" code "] " message.
QString ShellErrorText(int code);

// "Function ShellExecute(" file ", " parameters ")\rReturned: " error text.
QString ShellFailureText(const QString& file, const QString& parameters, int code);

} // namespace velmora::help
