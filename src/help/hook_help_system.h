// The help hook: takes over the program's help requests (F1, the Help button,
// explicit help calls) and shows the help file at the topic of each context
// number, in Velmora's own viewer or in an external viewer. Every failure ends
// in a warning with an OK button; each step is written to the diagnostic log.
#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "help/help_commands.h"
#include "help/help_hook.h"
#include "help/help_path.h"
#include "help/help_results.h"

namespace velmora::help {

class HelpLog;
class THelpViewer;

// What the hook works with; every part has a default for the running program
// and can be replaced by a test.
struct HookEnvironment {
    HelpLog* log = nullptr; // default: HelpLog::Program()
    // Shows a warning with an OK button (default: a message box).
    std::function<void(const QString& text)> warn;
    // Whether a help viewer can work here (default: QtHelpAvailable()).
    std::function<bool()> viewerAvailable;
    // Where the external viewers "KeyHH.EXE" and "HH.EXE" are looked for
    // (default: the Windows folder on Windows, else the program's folder).
    QString viewerFolder;
    // Starts a program detached; 0 or an error number (default:
    // StartDetachedProgram).
    std::function<int(const QString& program, const QStringList& arguments)> startProgram;
};

// The folder "KeyHH.EXE" and "HH.EXE" are taken from by default.
QString DefaultViewerFolder();

class THookHelpSystem : public HelpHook {
  public:
    // Create: stores the help file, the host kind (0, 1 or 2, see HostKind) and
    // the window definition, and installs the hook as the program's help
    // handler.
    THookHelpSystem(const QString& helpFile, int hostKind, const QString& windowDefinition,
                    HookEnvironment environment = {});
    // Destroy: closes the help windows (own viewer), puts the earlier help
    // handler back.
    ~THookHelpSystem() override;
    THookHelpSystem(const THookHelpSystem&) = delete;
    THookHelpSystem& operator=(const THookHelpSystem&) = delete;

    // Shows the topic of `context`; a failure is reported to the user. True
    // when the help is shown.
    bool OpenHelpContext(int context) override;
    // The same, answering with the HelpResult.
    int OpenHelpContextResult(int context);
    // Closes the viewer if it is open.
    void CloseAll() override;

    // The help handler: answers every request, and says through `callDefault`
    // whether the default help should run too (it does for all but context,
    // pop-up context and pop-up position requests).
    bool HelpHook(unsigned command, std::intptr_t data, bool& callDefault);

    // Builds the viewer path and shows the context; returns the HelpResult.
    int HHHelpContext(const QString& file, int context, const QString& windowDefinition,
                      int hostKind);
    // Shows `context` of the viewer path `path` the way `hostKind` says.
    int ShowContext(const QString& path, int context, int hostKind);

    // Optional owner handlers; when set they take the requests instead.
    std::function<void(int context)> onHelpContext;
    std::function<void(int context, int x, int y)> onHelpContextPopup;

    const QString& HelpFilePath() const { return helpFile_; }
    const QString& WindowDefinition() const { return windowDefinition_; }
    int HostKind() const { return hostKind_; }
    QPoint PopupPosition() const { return popupPosition_; }
    // The viewer while one is open (it may be hidden), else nothing.
    THelpViewer* Viewer() const { return viewer_.get(); }

  private:
    int ShowInOwnViewer(const QString& path, int context);
    int StartExternalViewer(const QString& exeName, const QString& parameters,
                            const QStringList& arguments, int missingResult);
    void ShowError(int result);

    QString helpFile_;
    QString windowDefinition_;
    int hostKind_ = kOwnViewer;
    HookEnvironment env_;
    HelpLog& log_;
    HelpHandler savedHandler_;
    QPoint popupPosition_;
    std::unique_ptr<THelpViewer> viewer_;
};

} // namespace velmora::help
