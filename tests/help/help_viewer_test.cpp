// The viewer on the help file the build compiled, offscreen: the topic of a
// context, the contents, the index, the search, closing; and the main
// window's F1 and Help button reaching it through the hook.
#include "help/help_viewer.h"

#include <QAbstractItemModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtHelp/QHelpContentWidget>
#include <QtHelp/QHelpEngine>
#include <QtHelp/QHelpIndexWidget>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "help/help_browser.h"
#include "help/help_log.h"
#include "help/hook_help_system.h"
#include "midi/simulated/simulated_service.h"
#include "support/recording_reporter.h"

namespace velmora::help {
namespace {

const QString kHelpFile = QStringLiteral(VELMORA_HELP_FILE);
const QString kEnglishHelpFile = QStringLiteral(VELMORA_HELP_FILE_EN);
constexpr int kWaitMs = 60000; // generous: the engine works in threads, slowly under sanitizers

class HelpViewerTest : public ::testing::Test {
  protected:
    HelpViewerTest() {
        HelpLogSetup setup;
        setup.moduleFolder = folder.path();
        setup.parameters = {QStringLiteral("/debug")};
        log = std::make_unique<HelpLog>(setup);
    }

    HookEnvironment Environment() {
        HookEnvironment env;
        env.log = log.get();
        env.warn = [this](const QString& text) { warnings << text; };
        return env;
    }

    QString LogText() const {
        QFile file(log->FilePath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir folder;
    std::unique_ptr<HelpLog> log;
    QStringList warnings;
};

TEST_F(HelpViewerTest, Context1001ShowsThePresentation) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    ASSERT_TRUE(hook.OpenHelpContext(1001)) << warnings.join('\n').toStdString();
    THelpViewer* viewer = hook.Viewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
    EXPECT_EQ(viewer->Browser->documentTitle(), QStringLiteral("Présentation de Velmora"));
    EXPECT_TRUE(
        viewer->Browser->toPlainText().startsWith(QStringLiteral("Présentation de Velmora")));
    EXPECT_TRUE(
        viewer->Browser->source().toString().endsWith(QStringLiteral("/presentation.html")));
    EXPECT_EQ(viewer->Browser->source().scheme(), QStringLiteral("qthelp"));
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_TRUE(LogText().contains(QStringLiteral("  returned - 0")));
}

TEST_F(HelpViewerTest, EveryWindowHasItsOwnContext) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    const std::pair<int, const char*> topics[] = {
        {1002, "/setup.html"},          {1003, "/data-monitor.html"}, {1004, "/sysex-monitor.html"},
        {1005, "/enregistrement.html"}, {1006, "/envoi.html"},        {1007, "/multi-out.html"},
    };
    for (const auto& [context, page] : topics) {
        ASSERT_TRUE(hook.OpenHelpContext(context));
        EXPECT_TRUE(hook.Viewer()->Browser->source().toString().endsWith(QString::fromLatin1(page)))
            << context;
        EXPECT_FALSE(hook.Viewer()->Browser->documentTitle().isEmpty());
    }
}

// The English file: the presentation at 1001, the viewer's own words in
// English, and every context on the page of the same name as in French.
TEST_F(HelpViewerTest, TheEnglishHelpOpensAtThePresentationWithTheFrenchStructure) {
    THookHelpSystem english(kEnglishHelpFile, kOwnViewer, QString(), Environment());
    ASSERT_TRUE(english.OpenHelpContext(1001)) << warnings.join('\n').toStdString();
    THelpViewer* viewer = english.Viewer();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
    EXPECT_EQ(viewer->Browser->documentTitle(), QStringLiteral("About Velmora"));
    EXPECT_TRUE(
        viewer->Browser->source().toString().endsWith(QStringLiteral("/presentation.html")));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Velmora Help"));
    EXPECT_EQ(viewer->CloseButton->text(), QStringLiteral("Close"));
    EXPECT_EQ(viewer->Tabs->tabText(0), QStringLiteral("Contents"));
    EXPECT_EQ(viewer->SearchButton->text(), QStringLiteral("Search"));

    THelpViewer french;
    ASSERT_EQ(french.Open(kHelpFile), kHelpShown);
    EXPECT_EQ(french.CloseButton->text(), QStringLiteral("Fermer"));
    for (int context = 1001; context <= 1008; ++context) {
        const QUrl page = viewer->TopicOf(context);
        ASSERT_FALSE(page.isEmpty()) << context;
        EXPECT_EQ(page.fileName(), french.TopicOf(context).fileName()) << context;
        ASSERT_TRUE(english.OpenHelpContext(context));
        EXPECT_FALSE(viewer->Browser->documentTitle().isEmpty()) << context;
    }
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(HelpViewerTest, AnUnknownContextShowsThePresentation) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    EXPECT_EQ(hook.OpenHelpContextResult(4242), kHelpShown);
    EXPECT_EQ(hook.Viewer()->Browser->documentTitle(), QStringLiteral("Présentation de Velmora"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("  no topic for context 4242")));
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(HelpViewerTest, PicturesOfThePagesLoadFromTheHelpFile) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    ASSERT_TRUE(hook.OpenHelpContext(1002));
    THelpBrowser* browser = hook.Viewer()->Browser;
    const QVariant picture = browser->loadResource(QTextDocument::ImageResource,
                                                   QUrl(QStringLiteral("images/setup.png")));
    ASSERT_TRUE(picture.canConvert<QByteArray>());
    EXPECT_TRUE(picture.toByteArray().startsWith("\x89PNG"));
}

TEST_F(HelpViewerTest, ContentsAndIndexFillAndLeadToPages) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    ASSERT_TRUE(hook.OpenHelpContext(1001));
    THelpViewer* viewer = hook.Viewer();
    QAbstractItemModel* contents = viewer->Contents->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return contents->rowCount() > 0; }, kWaitMs));
    const QModelIndex top = contents->index(0, 0);
    EXPECT_EQ(top.data().toString(), QStringLiteral("Présentation de Velmora"));
    EXPECT_GE(contents->rowCount(top), 10);

    QAbstractItemModel* index = viewer->Index->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return index->rowCount() > 0; }, kWaitMs));
    viewer->IndexFilter->setText(QStringLiteral("vélocité"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return index->rowCount() > 0; }, kWaitMs));
    EXPECT_TRUE(index->index(0, 0).data().toString().startsWith(QStringLiteral("vélocité")));
    viewer->Index->setCurrentIndex(index->index(0, 0));
    viewer->Index->activateCurrentItem();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return viewer->Browser->documentTitle() != QStringLiteral("Présentation de Velmora");
        },
        kWaitMs));
}

// The French file: the viewer's own controls in French, an index of words,
// and a search (its index built on first use) that finds a hyphenated
// program name and a word the pages give beside "After Touch".
TEST_F(HelpViewerTest, TheFrenchViewerSpeaksFrenchItsIndexShowsWordsAndItsSearchFindsThem) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    ASSERT_TRUE(hook.OpenHelpContext(1001));
    THelpViewer* viewer = hook.Viewer();
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Aide de Velmora"));
    const QStringList words{viewer->BackButton->text(),
                            viewer->ForwardButton->text(),
                            viewer->HomeButton->text(),
                            viewer->CloseButton->text(),
                            viewer->Tabs->tabText(0),
                            viewer->Tabs->tabText(2),
                            viewer->SearchButton->text(),
                            viewer->SearchInput->placeholderText(),
                            viewer->IndexFilter->placeholderText()};
    EXPECT_EQ(words, (QStringList{"◀ Précédent", "Suivant ▶", "Présentation", "Fermer", "Sommaire",
                                  "Recherche", "Chercher", "Mots à chercher dans les pages",
                                  "Mot à chercher dans l'index"}));

    // Words in the index, no identifiers such as PRESENTATION.
    QAbstractItemModel* index = viewer->Index->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return index->rowCount() > 20; }, kWaitMs));
    QStringList entries;
    for (int row = 0; row < index->rowCount(); ++row) {
        entries << index->index(row, 0).data().toString();
    }
    for (const QString& entry : entries) {
        const bool identifier =
            entry.contains(u'_') ||
            (entry.size() > 4 && entry == entry.toUpper() && entry.front().isLetter());
        EXPECT_FALSE(identifier) << entry.toStdString();
    }
    EXPECT_TRUE(entries.contains(QStringLiteral("Velmora, présentation")));
    EXPECT_TRUE(entries.contains(QStringLiteral("aftertouch")));
    EXPECT_TRUE(entries.contains(QStringLiteral("velmora-cli")));
    EXPECT_EQ(viewer->TopicOf(1001).fileName(), QStringLiteral("presentation.html"));

    // Nothing is indexed before the search is used; then each search lists
    // the pages that explain the word, and a result leads to its page.
    EXPECT_FALSE(viewer->SearchIndexed());
    viewer->Tabs->setCurrentWidget(viewer->SearchPage);
    QSignalSpy finished(viewer, &THelpViewer::searchFinished);
    auto pagesFound = [&](const QString& text) {
        finished.clear();
        viewer->SearchInput->setText(text);
        QTest::mouseClick(viewer->SearchButton, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, kWaitMs))
            << text.toStdString();
        QStringList pages;
        for (int row = 0; row < viewer->SearchResults->count(); ++row) {
            pages << viewer->SearchResults->item(row)->data(Qt::UserRole).toUrl().fileName();
        }
        return pages;
    };
    EXPECT_TRUE(
        pagesFound(QStringLiteral("velmora-cli")).contains(QStringLiteral("velmora-cli.html")));
    EXPECT_TRUE(viewer->SearchIndexed());
    EXPECT_TRUE(viewer->SearchStatus->text().startsWith(QStringLiteral("Pages trouvées")));
    const QStringList aftertouch = pagesFound(QStringLiteral("aftertouch"));
    EXPECT_TRUE(aftertouch.contains(QStringLiteral("lire-un-message.html")))
        << aftertouch.join(' ').toStdString();
    EXPECT_TRUE(pagesFound(QStringLiteral("transposition")).size() > 0);
    EXPECT_TRUE(
        pagesFound(QStringLiteral("--pause-ms")).contains(QStringLiteral("velmora-cli.html")));
    EXPECT_TRUE(pagesFound(QStringLiteral("zzzyxw")).isEmpty());
    EXPECT_EQ(viewer->SearchStatus->text(), QStringLiteral("Aucune page ne contient ces mots."));
    viewer->SearchInput->setText(QStringLiteral("velmora-cli"));
    QTest::keyClick(viewer->SearchInput, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->SearchResults->count() > 0; }, kWaitMs));
    viewer->SearchResults->setCurrentRow(0);
    emit viewer->SearchResults->itemActivated(viewer->SearchResults->item(0));
    EXPECT_EQ(viewer->Browser->source().fileName(),
              viewer->SearchResults->item(0)->data(Qt::UserRole).toUrl().fileName());
}

TEST_F(HelpViewerTest, EscapeAndCloseAllCloseTheViewer) {
    THookHelpSystem hook(kHelpFile, kOwnViewer, QString(), Environment());
    ASSERT_TRUE(hook.OpenHelpContext(1001));
    QTest::keyClick(hook.Viewer(), Qt::Key_Escape);
    EXPECT_FALSE(hook.Viewer()->isVisible());
    // Asked again, it shows again.
    ASSERT_TRUE(hook.OpenHelpContext(1001));
    EXPECT_TRUE(hook.Viewer()->isVisible());
    hook.CloseAll();
    EXPECT_EQ(hook.Viewer(), nullptr);
}

// ---- The main window's requests ----------------------------------------------

class MainWindowHelpTest : public HelpViewerTest {
  protected:
    app::TmainForm& Form() {
        if (!form) {
            form = std::make_unique<app::TmainForm>(app::MainFormEnvironment{
                service, reporter, *hook, settings.filePath("Velmora.ini"),
                settings.filePath("Velmora.ini"), midi::SteadyTickCount, 0});
            form->show();
            EXPECT_TRUE(QTest::qWaitFor([&] { return !form->FirstActivation(); }, kWaitMs));
            EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        }
        return *form;
    }

    midi::SimulatedService service{{"Synth"}, {"Keys"}};
    testing::RecordingReporter reporter;
    QTemporaryDir settings;
    std::unique_ptr<THookHelpSystem> hook =
        std::make_unique<THookHelpSystem>(kHelpFile, kOwnViewer, QString(), Environment());
    std::unique_ptr<app::TmainForm> form;
};

TEST_F(MainWindowHelpTest, F1OnTheSetupPanelOpensItsPage) {
    app::TmainForm& main = Form();
    main.cmbMidiIn->setFocus();
    QTest::keyClick(main.cmbMidiIn, Qt::Key_F1);
    ASSERT_NE(hook->Viewer(), nullptr);
    EXPECT_TRUE(hook->Viewer()->isVisible());
    EXPECT_EQ(hook->Viewer()->Browser->documentTitle(), QStringLiteral("Le panneau Setup"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("HHHelpContext(\"") + kHelpFile +
                                   QStringLiteral("\", 1002, \"\", 0)")));
}

TEST_F(MainWindowHelpTest, TheHelpButtonOpensItAndClosingTheWindowClosesIt) {
    app::TmainForm& main = Form();
    QTest::mousePress(main.ImgButHelp, Qt::LeftButton);
    EXPECT_EQ(hook->Viewer(), nullptr); // on the release, not the press
    QTest::mouseRelease(main.ImgButHelp, Qt::LeftButton);
    ASSERT_NE(hook->Viewer(), nullptr);
    EXPECT_TRUE(hook->Viewer()->isVisible());
    form.reset(); // the main window's end closes every help window
    EXPECT_EQ(hook->Viewer(), nullptr);
}

} // namespace
} // namespace velmora::help
