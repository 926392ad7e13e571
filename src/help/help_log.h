// The help's diagnostic log "HHDebug.txt": off unless asked for, one line per
// help event, with a header of facts about the machine. It is written beside
// the program when that folder can be written, else in the temporary folder.
// An installed program writes it in the user's state folder instead, never
// into PREFIX/bin.
//
// The temporary folder may be shared with other users, so the file is never
// followed through a symbolic link, only a regular file of our own is written
// to or deleted, and a new file is made readable by its owner only.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>

namespace velmora::help {

struct HelpFacts;

inline const QString kLogFileName = QStringLiteral("HHDebug.txt");
// Created and deleted in the program's folder to see whether it can be written.
inline const QString kProbeFileName = QStringLiteral("$_Temp_$.$$$");
// Its presence in the program's folder switches the log on.
inline const QString kDebugSwitchFileName = QStringLiteral("debug.debug");
inline constexpr int kRowWidth = 80;

// What the log is set up from.
struct HelpLogSetup {
    QString moduleFolder;   // the program's folder
    QString tempFolder;     // the temporary folder
    QString fallbackFolder; // when the temporary path is no folder
    QStringList parameters; // the command line without the program's name
    // An installed program's folder for the log (see UserStateFolder); it is
    // made when the log is on. Empty for a program that is not installed.
    QString stateFolder;
    std::function<QTime()> clock = [] { return QTime::currentTime(); };
};

class HelpLog {
  public:
    // Chooses the folder and the switch, and deletes an old log file.
    explicit HelpLog(HelpLogSetup setup);

    // The program's own log, set up on first use from the running program.
    static HelpLog& Program();
    static HelpLogSetup ProgramSetup();

    // The module folder (its trailing separators removed) when a probe file can
    // be created and deleted there; else the temporary folder; else the fallback.
    static QString ChooseFolder(const QString& moduleFolder, const QString& tempFolder,
                                const QString& fallbackFolder);
    // The per-user state folder: $XDG_STATE_HOME/Velmora when that is an
    // absolute path, else HOME/.local/state/Velmora.
    static QString UserStateFolder(const QString& xdgStateHome, const QString& home);
    // Whether a file can be created and deleted in `folder`.
    static bool CanCreateAndDelete(const QString& folder);
    // "debug.debug" in the module folder, or a parameter "/debug" or "-debug"
    // in any case.
    static bool SwitchedOn(const QString& moduleFolder, const QStringList& parameters);
    // The line a text becomes: "-" and "=" a row of 80 of them; "!", "-" and
    // "=" lines lose their first character and get no time; others get three
    // blanks and `now` ("hh:mm:ss") appended.
    static QString FormatLine(const QString& text, const QTime& now);

    bool Enabled() const { return enabled_; }
    const QString& Folder() const { return folder_; }
    QString FilePath() const;

    // Appends one line when the log is on; a file that can't be opened (or
    // that is not a regular file of ours) drops the line silently.
    void Log(const QString& text);
    // The header lines of `facts`, when the log is on.
    void WriteHeader(const HelpFacts& facts);

  private:
    HelpLogSetup setup_;
    QString folder_;
    bool enabled_ = false;
};

// Deletes `path` when it is a regular file; a link or anything else is left,
// and nothing is ever reached through a link.
void DeleteRegularFile(const QString& path);

// Appends `bytes` to `path`, creating it readable by its owner only. Refuses a
// link, a file that is not regular, has other names, or is someone else's.
bool AppendToOwnFile(const QString& path, const QByteArray& bytes);

} // namespace velmora::help
