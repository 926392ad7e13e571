#include "help/help_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "help/help_facts.h"
#include "help/help_file.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora::help {
namespace {

QString WithoutTrailingSeparators(QString folder) {
    while (folder.size() > 1 &&
           (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))) {
        folder.chop(1);
    }
    return folder;
}

#ifdef Q_OS_UNIX
QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        at += n;
        left -= n;
    }
    return true;
}
#endif

} // namespace

void DeleteRegularFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        // unlink() never follows a link: if the name was swapped for one in
        // the meantime, only that link goes.
        ::unlink(Native(path).constData());
    }
#else
    const QFileInfo info(path);
    if (info.isFile() && !info.isSymLink()) {
        QFile::remove(path);
    }
#endif
}

bool AppendToOwnFile(const QString& path, const QByteArray& bytes) {
#ifdef Q_OS_UNIX
    const int fd = ::open(Native(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                      st.st_uid == ::geteuid();
    const bool written = ours && WriteAll(fd, bytes);
    ::close(fd);
    return written;
#else
    if (QFileInfo(path).isSymLink()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return false;
    }
    return file.write(bytes) == bytes.size();
#endif
}

HelpLog::HelpLog(HelpLogSetup setup) : setup_(std::move(setup)) {
    enabled_ = SwitchedOn(setup_.moduleFolder, setup_.parameters);
    if (setup_.stateFolder.isEmpty()) {
        folder_ = ChooseFolder(setup_.moduleFolder, setup_.tempFolder, setup_.fallbackFolder);
    } else {
        // Made only for a log that is on, private like the rest of the user's
        // state; when it can't be used the temporary folder takes the log. A
        // log that is off only clears an old one from the state folder.
        const QString state = WithoutTrailingSeparators(setup_.stateFolder);
        if (enabled_ && !QFileInfo(state).isDir() && QDir().mkpath(state)) {
            QFile::setPermissions(state, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
        }
        folder_ = enabled_ ? ChooseFolder(state, setup_.tempFolder, setup_.fallbackFolder) : state;
    }
    DeleteRegularFile(FilePath());
}

HelpLogSetup HelpLog::ProgramSetup() {
    HelpLogSetup setup;
    setup.moduleFolder = QCoreApplication::applicationDirPath();
    setup.tempFolder = QDir::tempPath();
    setup.fallbackFolder = QDir::homePath();
    setup.parameters = QCoreApplication::arguments().mid(1);
    if (IsInstalledProgramFolder(setup.moduleFolder)) {
        setup.stateFolder =
            UserStateFolder(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
    }
    return setup;
}

HelpLog& HelpLog::Program() {
    static HelpLog log(ProgramSetup());
    static const bool headed = [] {
        if (log.Enabled()) { // the facts take a moment to gather
            log.WriteHeader(GatherHelpFacts());
        }
        return true;
    }();
    Q_UNUSED(headed);
    return log;
}

QString HelpLog::ChooseFolder(const QString& moduleFolder, const QString& tempFolder,
                              const QString& fallbackFolder) {
    const QString module = WithoutTrailingSeparators(moduleFolder);
    if (!module.isEmpty() && CanCreateAndDelete(module)) {
        return module;
    }
    if (!tempFolder.isEmpty() && QFileInfo(tempFolder).isDir()) {
        return WithoutTrailingSeparators(tempFolder);
    }
    return WithoutTrailingSeparators(fallbackFolder);
}

QString HelpLog::UserStateFolder(const QString& xdgStateHome, const QString& home) {
    const QString base = QDir::isAbsolutePath(xdgStateHome)
                             ? xdgStateHome
                             : QDir(home).filePath(QStringLiteral(".local/state"));
    return QDir::cleanPath(base + QStringLiteral("/Velmora"));
}

bool HelpLog::CanCreateAndDelete(const QString& folder) {
    if (!QFileInfo(folder).isDir()) {
        return false;
    }
    const QString probe = QDir(folder).filePath(kProbeFileName);
#ifdef Q_OS_UNIX
    const QByteArray native = Native(probe);
    int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    S_IRUSR | S_IWUSR);
    if (fd < 0 && errno == EEXIST) {
        // A probe left behind by a program that was killed: only a regular
        // file goes, then the probe is tried once more.
        DeleteRegularFile(probe);
        fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    S_IRUSR | S_IWUSR);
    }
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return ::unlink(native.constData()) == 0;
#else
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    file.close();
    return file.remove();
#endif
}

bool HelpLog::SwitchedOn(const QString& moduleFolder, const QStringList& parameters) {
    if (QFileInfo::exists(QDir(moduleFolder).filePath(kDebugSwitchFileName))) {
        return true;
    }
    for (const QString& p : parameters) {
        if (p.compare(QStringLiteral("/debug"), Qt::CaseInsensitive) == 0 ||
            p.compare(QStringLiteral("-debug"), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QString HelpLog::FormatLine(const QString& text, const QTime& now) {
    if (text == QStringLiteral("-") || text == QStringLiteral("=")) {
        return QString(kRowWidth, text[0]);
    }
    if (text.startsWith(QLatin1Char('!')) || text.startsWith(QLatin1Char('-')) ||
        text.startsWith(QLatin1Char('='))) {
        return text.mid(1);
    }
    return text + QStringLiteral("   ") + now.toString(QStringLiteral("HH:mm:ss"));
}

QString HelpLog::FilePath() const {
    return QDir(folder_).filePath(kLogFileName);
}

void HelpLog::Log(const QString& text) {
    if (!enabled_) {
        return;
    }
    const QString line = FormatLine(text, setup_.clock()) + QLatin1Char('\n');
    AppendToOwnFile(FilePath(), line.toUtf8());
}

void HelpLog::WriteHeader(const HelpFacts& facts) {
    if (!enabled_) {
        return;
    }
    for (const QString& line : HeaderLines(FilePath(), facts)) {
        Log(line);
    }
}

} // namespace velmora::help
