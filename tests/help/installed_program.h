// An installed velmora (PREFIX/bin/velmora, PREFIX/share/velmora) run the
// way a user runs it: offscreen with --demo and its help log on, in a
// language, with state and configuration folders of its own. It is stopped
// as an ending session stops it, once its log says which help file it took.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "support/child_process.h"

namespace velmora::testing {

// Sets environment variables (nothing: unset) for its lifetime.
class ScopedEnvironment {
  public:
    ScopedEnvironment(std::map<std::string, std::optional<std::string>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            Set(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            Set(name, value);
        }
    }

  private:
    static void Set(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

struct InstalledRun {
    QString log;                // the help log, from the user's state folder
    int exitStatus = -1;        // after the stop request (SIGTERM)
    bool settingsSaved = false; // the demo's VelmoraDemo.ini in the user's configuration folder
    bool logInBin = false;      // an HHDebug.txt beside the program
    std::string errors;
};

inline QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline InstalledRun RunInstalledProgram(const QString& prefix, const std::string& lang) {
    using namespace std::chrono_literals;
    QTemporaryDir user;
    const QString state = user.filePath(QStringLiteral("state"));
    const QString config = user.filePath(QStringLiteral("config"));
    ScopedEnvironment environment({{"QT_QPA_PLATFORM", "offscreen"},
                                   {"XDG_STATE_HOME", state.toStdString()},
                                   {"XDG_CONFIG_HOME", config.toStdString()},
                                   {"LANG", lang},
                                   {"LC_ALL", std::nullopt},
                                   {"LC_MESSAGES", std::nullopt}});
    const QString bin = QDir(prefix).filePath(QStringLiteral("bin"));
    ChildProcess velmora(
        {QDir(bin).filePath(QStringLiteral("velmora")).toStdString(), "--demo", "-DEBUG"});
    const QString logFile = QDir(state).filePath(QStringLiteral("Velmora/HHDebug.txt"));
    InstalledRun run;
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!run.log.contains(QStringLiteral("THookHelpSystem.Create(")) &&
           std::chrono::steady_clock::now() < until && velmora.Wait(50ms) == -1) {
        run.log = ReadText(logFile);
    }
    velmora.Signal(SIGTERM);
    run.exitStatus = velmora.Wait(60s);
    run.errors = velmora.Errors();
    // It ran the demo, which keeps settings of its own and leaves the user's alone.
    run.settingsSaved =
        QFileInfo(QDir(config).filePath("Velmora/Velmora/VelmoraDemo.ini")).isFile() &&
        !QFileInfo::exists(QDir(config).filePath("Velmora/Velmora/Velmora.ini"));
    run.logInBin = QFileInfo::exists(QDir(bin).filePath(QStringLiteral("HHDebug.txt")));
    return run;
}

} // namespace velmora::testing
