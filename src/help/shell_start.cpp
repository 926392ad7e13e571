#include "help/shell_start.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace velmora::help {
namespace {

// The error number whose system text Qt put into its start failure message
// ("...: Exec format error"); Qt reports exec failures only as text.
int ErrorFromQtMessage(const QString& message) {
    for (int code : {ENOENT, ENOTDIR, EACCES, EPERM, ENOEXEC, ENOMEM, ETXTBSY, ELOOP, ENAMETOOLONG,
                     EIO, EMFILE, ENFILE, EAGAIN, E2BIG}) {
        if (message.contains(QString::fromLocal8Bit(std::strerror(code)), Qt::CaseInsensitive)) {
            return code;
        }
    }
    return 0;
}

} // namespace

int StartDetachedProgram(const QString& program, const QStringList& arguments) {
#ifdef Q_OS_UNIX
    // Checked first: the error number is then the system's own.
    if (::access(QFile::encodeName(program).constData(), X_OK) != 0) {
        return errno != 0 ? errno : EACCES;
    }
    if (QFileInfo(program).isDir()) {
        return EACCES;
    }
#endif
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (process.startDetached()) {
        return 0;
    }
    const int code = ErrorFromQtMessage(process.errorString());
    return code != 0 ? code : EIO;
}

QString ShellErrorMessage(int code) {
    switch (code) {
    case ENOENT:
        return QStringLiteral("File Not Found");
    case ENOTDIR:
        return QStringLiteral("Path Not Found");
    case EACCES:
    case EPERM:
        return QStringLiteral("Access Denied");
    case ENOMEM:
        return QStringLiteral("Insufficient Memory");
    case EROFS:
        return QStringLiteral("Media Is Write Protected");
    case ENXIO:
    case ENODEV:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
        return QStringLiteral("Device Not Ready");
    case ETXTBSY:
    case EBUSY:
        return QStringLiteral("File In Use");
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("Disk Full");
    case EIO:
#ifdef EUCLEAN
    case EUCLEAN:
#endif
        return QStringLiteral("Corrupt File Or Disk");
    case ENOEXEC:
#ifdef ELIBBAD
    case ELIBBAD:
#endif
        return QStringLiteral("Not A Windows Or MSDos Program");
    default:
        return QStringLiteral("General Failure");
    }
}

QString ShellErrorText(int code) {
    return QStringLiteral("[Error:") + QString::number(code) + QStringLiteral("] ") +
           ShellErrorMessage(code);
}

QString ShellFailureText(const QString& file, const QString& parameters, int code) {
    return QStringLiteral("Function ShellExecute(") + file + QStringLiteral(", ") + parameters +
           QStringLiteral(")\rReturned: ") + ShellErrorText(code);
}

} // namespace velmora::help
