// The help hook's requests, outcomes and messages, with the warning dialog
// and the program start replaced where a test must not block.
#include "help/hook_help_system.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "help/help_log.h"
#include "help/help_viewer.h"
#include "help/shell_start.h"

#include <cerrno>
#include <sys/stat.h>

namespace velmora::help {
namespace {

struct StartRequest {
    QString program;
    QStringList arguments;
};

class HelpHookTest : public ::testing::Test {
  protected:
    HelpHookTest() {
        HelpLogSetup setup;
        setup.moduleFolder = folder.path();
        setup.parameters = {QStringLiteral("-debug")};
        setup.clock = [] { return QTime(12, 0, 0); };
        log = std::make_unique<HelpLog>(setup);
    }

    HookEnvironment Environment() {
        HookEnvironment env;
        env.log = log.get();
        env.warn = [this](const QString& text) { warnings << text; };
        env.viewerAvailable = [this] { return viewerAvailable; };
        env.viewerFolder = folder.path();
        env.startProgram = [this](const QString& program, const QStringList& arguments) {
            starts.push_back({program, arguments});
            return startResult;
        };
        return env;
    }

    QString Missing() const { return folder.filePath(QStringLiteral("missing/VelmoraFr.qch")); }

    QStringList LogLines() const {
        QFile file(log->FilePath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        lines.removeAll(QString());
        return lines;
    }

    void MakeFile(const QString& name, const QByteArray& bytes, QFile::Permissions permissions) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        file.setPermissions(permissions);
    }

    QTemporaryDir folder;
    std::unique_ptr<HelpLog> log;
    QStringList warnings;
    bool viewerAvailable = true;
    std::vector<StartRequest> starts;
    int startResult = 0;
};

TEST_F(HelpHookTest, CreateInstallsTheHandlerAndDestroyPutsTheEarlierOneBack) {
    int earlierCalls = 0;
    const HelpHandler before = InstallHelpHandler([&](unsigned, std::intptr_t, bool& d) {
        ++earlierCalls;
        d = true;
        return true;
    });
    {
        THookHelpSystem hook(Missing(), 0, QString(), Environment());
        EXPECT_EQ(hook.HelpFilePath(), Missing());
        EXPECT_EQ(hook.HostKind(), 0);
        // The program's requests now reach the hook.
        EXPECT_FALSE(RaiseHelpRequest(kHelpContext, 1001));
        EXPECT_EQ(earlierCalls, 0);
        EXPECT_EQ(warnings.size(), 1);
    }
    EXPECT_TRUE(RaiseHelpRequest(kHelpContext, 1001));
    EXPECT_EQ(earlierCalls, 1);
    InstallHelpHandler(before);

    const QStringList lines = LogLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.first(), QStringLiteral("THookHelpSystem.Create(\"") + Missing() +
                                 QStringLiteral("\",\"\", 0)   12:00:00"));
    EXPECT_EQ(lines.last(), QStringLiteral("THookHelpSystem.Destroy   12:00:00"));
}

TEST_F(HelpHookTest, ContextRequestsReachOpenHelpContextAndAreLogged) {
    THookHelpSystem hook(Missing(), 0, QStringLiteral("Main"), Environment());
    bool callDefault = true;
    EXPECT_TRUE(hook.HelpHook(kHelpContext, 1001, callDefault));
    EXPECT_FALSE(callDefault);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(Missing()));

    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[1], "THookHelpSystem.HelpHook(HELP_CONTEXT (1), 1001)   12:00:00");
    EXPECT_EQ(lines[2], "HHHelpContext(\"" + Missing() + "\", 1001, \"Main\", 0)   12:00:00");
    EXPECT_EQ(lines[3], "  returned - 4   12:00:00");
    EXPECT_EQ(lines[4], "HHShowError(4), \"" + warnings[0] + "\"   12:00:00");
}

TEST_F(HelpHookTest, OwnerHandlersTakeContextAndPopupRequests) {
    THookHelpSystem hook(Missing(), 0, QString(), Environment());
    std::vector<int> contexts;
    std::vector<std::tuple<int, int, int>> popups;
    hook.onHelpContext = [&](int c) { contexts.push_back(c); };
    hook.onHelpContextPopup = [&](int c, int x, int y) { popups.emplace_back(c, x, y); };

    bool callDefault = true;
    hook.HelpHook(kHelpContext, 1001, callDefault);
    EXPECT_FALSE(callDefault);
    callDefault = true;
    EXPECT_TRUE(hook.HelpHook(kHelpSetPopupPos, (40 << 16) | 300, callDefault));
    EXPECT_FALSE(callDefault);
    EXPECT_EQ(hook.PopupPosition(), QPoint(300, 40));
    callDefault = true;
    hook.HelpHook(kHelpContextPopup, 2002, callDefault);
    EXPECT_FALSE(callDefault);

    EXPECT_EQ(contexts, std::vector<int>{1001});
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], std::make_tuple(2002, 300, 40));
    EXPECT_TRUE(warnings.isEmpty()); // the hook itself showed nothing
}

TEST_F(HelpHookTest, APopupRequestWithoutItsHandlerOpensTheContext) {
    THookHelpSystem hook(Missing(), 0, QString(), Environment());
    bool callDefault = true;
    hook.HelpHook(kHelpContextPopup, 1001, callDefault);
    EXPECT_FALSE(callDefault);
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_TRUE(
        LogLines().contains("HHHelpContext(\"" + Missing() + "\", 1001, \"\", 0)   12:00:00"));
}

TEST_F(HelpHookTest, EveryOtherCommandLeavesItToTheDefaultHelp) {
    THookHelpSystem hook(Missing(), 0, QString(), Environment());
    for (unsigned command :
         {2u, 3u, 4u, 5u, 9u, 10u, 11u, 12u, 257u, 258u, 261u, 513u, 515u, 99u}) {
        bool callDefault = false;
        EXPECT_TRUE(hook.HelpHook(command, 7, callDefault)) << command;
        EXPECT_TRUE(callDefault) << command;
    }
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_TRUE(LogLines().contains("THookHelpSystem.HelpHook(?? (99), 7)   12:00:00"));
    EXPECT_TRUE(LogLines().contains("THookHelpSystem.HelpHook(HELP_QUIT (2), 7)   12:00:00"));
}

TEST_F(HelpHookTest, NoHelpViewerIsResultOneWhateverTheHost) {
    viewerAvailable = false;
    for (int host : {0, 1, 2}) {
        THookHelpSystem hook(Missing(), host, QString(), Environment());
        EXPECT_EQ(hook.OpenHelpContextResult(1001), kNoHelpViewer) << host;
        EXPECT_FALSE(hook.OpenHelpContext(1001));
    }
    ASSERT_EQ(warnings.size(), 6);
    EXPECT_EQ(warnings[0], QStringLiteral("MS Html Help is not installed on this PC."));
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(LogLines().contains(
        "HHShowError(1), \"MS Html Help is not installed on this PC.\"   12:00:00"));
}

TEST_F(HelpHookTest, MissingExternalViewersAreResultsTwoAndThree) {
    THookHelpSystem keyHH(Missing(), 1, QString(), Environment());
    EXPECT_EQ(keyHH.OpenHelpContextResult(1001), kKeyHHMissing);
    THookHelpSystem hh(Missing(), 2, QString(), Environment());
    EXPECT_EQ(hh.OpenHelpContextResult(1001), kHHMissing);
    EXPECT_EQ(warnings, QStringList({"System file KeyHH.EXE was not found in the Windows folder.",
                                     "System file HH.EXE was not found in the Windows folder."}));
    EXPECT_TRUE(starts.empty());
}

TEST_F(HelpHookTest, ExternalViewersAreStartedWithTheContextAndThePath) {
    MakeFile("KeyHH.EXE", "", QFile::ReadOwner | QFile::ExeOwner);
    MakeFile("HH.EXE", "", QFile::ReadOwner | QFile::ExeOwner);
    THookHelpSystem keyHH(QStringLiteral("/h/My%20Help.chm"), 1, QStringLiteral("Main"),
                          Environment());
    EXPECT_EQ(keyHH.OpenHelpContextResult(1001), kHelpShown);
    THookHelpSystem hh(QStringLiteral("/h/Velmora.chm "), 2, QString(), Environment());
    EXPECT_EQ(hh.OpenHelpContextResult(42), kHelpShown);

    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].program, folder.filePath("KeyHH.EXE"));
    EXPECT_EQ(starts[0].arguments, QStringList({"-win", "-#mapid", "1001", "Main>/h/My Help.chm"}));
    EXPECT_EQ(starts[1].program, folder.filePath("HH.EXE"));
    EXPECT_EQ(starts[1].arguments, QStringList({"-mapid", "42", "mk:@MSITStore:/h/Velmora.chm"}));
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(HelpHookTest, AFailedStartIsReportedAndTheResultStaysZero) {
    MakeFile("HH.EXE", "", QFile::ReadOwner | QFile::ExeOwner);
    startResult = ENOENT;
    THookHelpSystem hh(QStringLiteral("/h/V.chm"), 2, QString(), Environment());
    EXPECT_EQ(hh.OpenHelpContextResult(1001), kHelpShown);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0], "Function ShellExecute(" + folder.filePath("HH.EXE") +
                               ", -mapid 1001 mk:@MSITStore:/h/V.chm)\rReturned: [Error:2] "
                               "File Not Found");
}

TEST_F(HelpHookTest, AnUnknownHostKindIsAnUnknownError) {
    THookHelpSystem hook(Missing(), 7, QString(), Environment());
    EXPECT_EQ(hook.OpenHelpContextResult(1001), kUnknownHostKind);
    EXPECT_EQ(warnings, QStringList({"Unknown error returned by HHHelpContext"}));
}

TEST_F(HelpHookTest, AMissingHelpFileIsNamed) {
    THookHelpSystem hook(Missing(), 0, QString(), Environment());
    EXPECT_EQ(hook.OpenHelpContextResult(1001), kHelpFileMissing);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith("The help file \"" + Missing() + "\" was not found."));
    EXPECT_EQ(hook.Viewer(), nullptr);
}

TEST_F(HelpHookTest, AHelpFileThatIsNoHelpFileCantBeRead) {
    MakeFile("VelmoraFr.qch", QByteArray("this is not a compiled help file\n").repeated(40),
             QFile::ReadOwner | QFile::WriteOwner);
    THookHelpSystem hook(folder.filePath("VelmoraFr.qch"), 0, QString(), Environment());
    EXPECT_EQ(hook.OpenHelpContextResult(1001), kHelpFileUnreadable);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0], "The help file \"" + folder.filePath("VelmoraFr.qch") +
                               "\" can't be read: it is damaged or is not a Velmora help file.");
    EXPECT_EQ(hook.Viewer(), nullptr);
}

TEST_F(HelpHookTest, AFolderInPlaceOfTheHelpFileIsMissingFile) {
    QDir(folder.path()).mkdir("VelmoraFr.qch");
    THookHelpSystem hook(folder.filePath("VelmoraFr.qch"), 0, QString(), Environment());
    EXPECT_EQ(hook.OpenHelpContextResult(1001), kHelpFileMissing);
}

// ---- Starting a real program ------------------------------------------------

TEST(ShellStart, MessagesFollowTheErrorNumber) {
    EXPECT_EQ(ShellErrorText(ENOENT), "[Error:2] File Not Found");
    EXPECT_EQ(ShellErrorMessage(ENOTDIR), "Path Not Found");
    EXPECT_EQ(ShellErrorMessage(EACCES), "Access Denied");
    EXPECT_EQ(ShellErrorMessage(EPERM), "Access Denied");
    EXPECT_EQ(ShellErrorMessage(ENOMEM), "Insufficient Memory");
    EXPECT_EQ(ShellErrorMessage(EROFS), "Media Is Write Protected");
    EXPECT_EQ(ShellErrorMessage(ENOMEDIUM), "Device Not Ready");
    EXPECT_EQ(ShellErrorMessage(ETXTBSY), "File In Use");
    EXPECT_EQ(ShellErrorMessage(ENOSPC), "Disk Full");
    EXPECT_EQ(ShellErrorMessage(EIO), "Corrupt File Or Disk");
    EXPECT_EQ(ShellErrorMessage(ENOEXEC), "Not A Windows Or MSDos Program");
    EXPECT_EQ(ShellErrorMessage(EINVAL), "General Failure");
    EXPECT_EQ(ShellErrorMessage(-1), "General Failure");
    EXPECT_EQ(ShellFailureText("/w/HH.EXE", "-mapid 1 x", ENOENT),
              "Function ShellExecute(/w/HH.EXE, -mapid 1 x)\rReturned: [Error:2] File Not Found");
}

TEST(ShellStart, ReportsWhyAProgramDidNotStart) {
    QTemporaryDir dir;
    EXPECT_EQ(StartDetachedProgram(dir.filePath("none"), {}), ENOENT);
    EXPECT_EQ(StartDetachedProgram(dir.filePath("none/deeper"), {}), ENOENT);
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("#!/bin/sh\nexit 0\n");
    plain.close();
    EXPECT_EQ(StartDetachedProgram(dir.filePath("plain/deeper"), {}), ENOTDIR);
    if (::geteuid() != 0) { // root may run what has no execute bit for the owner
        plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        EXPECT_EQ(StartDetachedProgram(dir.filePath("plain"), {}), EACCES);
    }
    plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Executable, but no program the system can run.
    QFile junk(dir.filePath("junk"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(64, '\x01'));
    junk.close();
    junk.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(StartDetachedProgram(dir.filePath("junk"), {}), ENOEXEC);
}

TEST_F(HelpHookTest, TheHHViewerIsReallyStartedWithItsArguments) {
    const QString out = folder.filePath("arguments.txt");
    MakeFile("HH.EXE",
             "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                 QFile::encodeName(out) + ".part\" && mv \"" + QFile::encodeName(out) +
                 ".part\" \"" + QFile::encodeName(out) + "\"\n",
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    HookEnvironment env = Environment();
    env.startProgram = StartDetachedProgram;
    THookHelpSystem hh(QStringLiteral("/h/Velmora%20Fr.chm"), 2, QString(), env);
    EXPECT_EQ(hh.OpenHelpContextResult(1001), kHelpShown);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(out); }, 20000));
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("-mapid\n1001\nmk:@MSITStore:/h/Velmora Fr.chm\n"));
}

TEST_F(HelpHookTest, AViewerThatCantRunIsReportedWithTheSystemError) {
    MakeFile("KeyHH.EXE", QByteArray(64, '\x02'),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    HookEnvironment env = Environment();
    env.startProgram = StartDetachedProgram;
    THookHelpSystem keyHH(QStringLiteral("/h/V.chm"), 1, QString(), env);
    EXPECT_EQ(keyHH.OpenHelpContextResult(5), kHelpShown);
    EXPECT_EQ(warnings, QStringList({"Function ShellExecute(" + folder.filePath("KeyHH.EXE") +
                                     ", -win -#mapid 5 /h/V.chm)\rReturned: [Error:8] Not A "
                                     "Windows Or MSDos Program"}));
}

} // namespace
} // namespace velmora::help
