#include "help/hook_help_system.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include "help/help_facts.h"
#include "help/help_log.h"
#include "help/help_viewer.h"
#include "help/shell_start.h"

namespace velmora::help {
namespace {

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void ShowWarningBox(const QString& text) {
    // The texts keep their "\r" line breaks; a label wants "\n".
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), shown, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

HookEnvironment WithDefaults(HookEnvironment env) {
    if (!env.log) {
        env.log = &HelpLog::Program();
    }
    if (!env.warn) {
        env.warn = ShowWarningBox;
    }
    if (!env.viewerAvailable) {
        env.viewerAvailable = QtHelpAvailable;
    }
    if (env.viewerFolder.isEmpty()) {
        env.viewerFolder = DefaultViewerFolder();
    }
    if (!env.startProgram) {
        env.startProgram = StartDetachedProgram;
    }
    return env;
}

} // namespace

QString DefaultViewerFolder() {
#ifdef Q_OS_WIN
    const QString windows = qEnvironmentVariable("WINDIR");
    if (!windows.isEmpty()) {
        return windows;
    }
#endif
    return QCoreApplication::applicationDirPath();
}

THookHelpSystem::THookHelpSystem(const QString& helpFile, int hostKind,
                                 const QString& windowDefinition, HookEnvironment environment)
    : helpFile_(helpFile), windowDefinition_(windowDefinition), hostKind_(hostKind),
      env_(WithDefaults(std::move(environment))), log_(*env_.log) {
    savedHandler_ =
        InstallHelpHandler([this](unsigned command, std::intptr_t data, bool& callDefault) {
            return HelpHook(command, data, callDefault);
        });
    log_.Log(QStringLiteral("THookHelpSystem.Create(") + Quoted(helpFile_) + QLatin1Char(',') +
             Quoted(windowDefinition_) + QStringLiteral(", ") + QString::number(hostKind_) +
             QLatin1Char(')'));
}

THookHelpSystem::~THookHelpSystem() {
    if (hostKind_ == kOwnViewer) {
        CloseAll();
        QThread::yieldCurrentThread();
    }
    InstallHelpHandler(std::move(savedHandler_));
    log_.Log(QStringLiteral("THookHelpSystem.Destroy"));
}

bool THookHelpSystem::OpenHelpContext(int context) {
    return OpenHelpContextResult(context) == kHelpShown;
}

int THookHelpSystem::OpenHelpContextResult(int context) {
    const int result = HHHelpContext(helpFile_, context, windowDefinition_, hostKind_);
    if (result != kHelpShown) {
        ShowError(result);
    }
    return result;
}

void THookHelpSystem::CloseAll() {
    if (viewer_) {
        viewer_->close();
        viewer_.reset();
    }
}

bool THookHelpSystem::HelpHook(unsigned command, std::intptr_t data, bool& callDefault) {
    log_.Log(QStringLiteral("THookHelpSystem.HelpHook(") + HelpCommandName(command) +
             QStringLiteral(", ") + QString::number(data) + QLatin1Char(')'));
    const int context = static_cast<int>(data);
    switch (command) {
    case kHelpContext:
        if (onHelpContext) {
            onHelpContext(context);
        } else {
            OpenHelpContext(context);
        }
        callDefault = false;
        break;
    case kHelpContextPopup:
        if (onHelpContextPopup) {
            onHelpContextPopup(context, popupPosition_.x(), popupPosition_.y());
        } else {
            OpenHelpContext(context);
        }
        callDefault = false;
        break;
    case kHelpSetPopupPos:
        popupPosition_ = UnpackPopupPosition(data);
        callDefault = false;
        break;
    default:
        callDefault = true;
        break;
    }
    return true;
}

int THookHelpSystem::HHHelpContext(const QString& file, int context,
                                   const QString& windowDefinition, int hostKind) {
    log_.Log(QStringLiteral("HHHelpContext(") + Quoted(file) + QStringLiteral(", ") +
             QString::number(context) + QStringLiteral(", ") + Quoted(windowDefinition) +
             QStringLiteral(", ") + QString::number(hostKind) + QLatin1Char(')'));
    const QString path = ViewerPath(file, windowDefinition, hostKind);
    const int result = ShowContext(path, context, hostKind);
    log_.Log(QStringLiteral("  returned - ") + QString::number(result));
    return result;
}

int THookHelpSystem::ShowContext(const QString& path, int context, int hostKind) {
    if (!env_.viewerAvailable()) {
        return kNoHelpViewer;
    }
    const QString number = QString::number(context);
    switch (hostKind) {
    case kOwnViewer:
        return ShowInOwnViewer(path, context);
    case kKeyHHViewer:
        return StartExternalViewer(
            QStringLiteral("KeyHH.EXE"),
            QStringLiteral("-win -#mapid ") + number + QLatin1Char(' ') + path,
            {QStringLiteral("-win"), QStringLiteral("-#mapid"), number, path}, kKeyHHMissing);
    case kHHViewer:
        return StartExternalViewer(QStringLiteral("HH.EXE"),
                                   QStringLiteral("-mapid ") + number + QLatin1Char(' ') + path,
                                   {QStringLiteral("-mapid"), number, path}, kHHMissing);
    default:
        return kUnknownHostKind;
    }
}

int THookHelpSystem::ShowInOwnViewer(const QString& path, int context) {
    const QString file = SplitViewerPath(path).file;
    if (!QFileInfo(file).isFile()) {
        return kHelpFileMissing;
    }
    if (!QFileInfo(file).isReadable()) {
        return kHelpFileUnreadable;
    }
    if (viewer_ && viewer_->HelpFile() != file) {
        CloseAll();
    }
    if (!viewer_) {
        viewer_ = std::make_unique<THelpViewer>();
        QString detail;
        const int opened = viewer_->Open(file, &detail);
        if (opened != kHelpShown) {
            log_.Log(QStringLiteral("  ") + detail);
            viewer_.reset();
            return opened;
        }
    }
    if (!viewer_->ShowContext(context)) {
        log_.Log(QStringLiteral("  no topic for context ") + QString::number(context));
    }
    viewer_->show();
    viewer_->raise();
    viewer_->activateWindow();
    return kHelpShown;
}

int THookHelpSystem::StartExternalViewer(const QString& exeName, const QString& parameters,
                                         const QStringList& arguments, int missingResult) {
    const QString exe = QDir(env_.viewerFolder).filePath(exeName);
    if (!QFileInfo::exists(exe)) {
        return missingResult;
    }
    const int code = env_.startProgram(exe, arguments);
    if (code != 0) {
        env_.warn(ShellFailureText(exe, parameters, code));
    }
    return kHelpShown;
}

void THookHelpSystem::ShowError(int result) {
    const QString text = HelpErrorText(result, helpFile_);
    log_.Log(QStringLiteral("HHShowError(") + QString::number(result) + QStringLiteral("), ") +
             Quoted(text));
    env_.warn(text);
}

} // namespace velmora::help
