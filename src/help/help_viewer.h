// Velmora's help viewer: one window on the compiled help file, with its
// contents, its index and a full-text search beside the page view. The help
// engine's collection lives in a private temporary folder for as long as the
// window does; the search index is built there on the search's first use.
// The viewer's own controls, the search's included, speak the language of
// the help file.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>
#include <QWidget>
#include <memory>

class QHelpEngine;
class QHelpContentWidget;
class QHelpIndexWidget;

namespace velmora::help {

class THelpBrowser;
struct ViewerTexts;

class THelpViewer : public QWidget {
    Q_OBJECT
  public:
    explicit THelpViewer(QWidget* parent = nullptr);
    ~THelpViewer() override;

    // Opens the help file. Returns kHelpShown, kNoHelpViewer when the help
    // engine can't work, or kHelpFileUnreadable; `detail` then says why.
    int Open(const QString& helpFile, QString* detail = nullptr);
    const QString& HelpFile() const { return helpFile_; }

    // The page of a context number: the help file's keyword with that id.
    // Empty when the file has none.
    QUrl TopicOf(int context) const;
    // Shows the page of `context`, or the first page when the file has none
    // for it (false then).
    bool ShowContext(int context);
    // The first page of the help file.
    QUrl HomePage() const;

    // Full-text search; the index is built first when it is not there yet.
    // searchFinished() reports the number of pages found, which
    // SearchResults then lists (title, with the passage as tooltip).
    void Search(const QString& text);
    bool SearchIndexed() const { return indexed_; }

    QHelpEngine* engine() const { return engine_; }
    THelpBrowser* Browser = nullptr;
    QTabWidget* Tabs = nullptr;
    QHelpContentWidget* Contents = nullptr;
    QLineEdit* IndexFilter = nullptr;
    QHelpIndexWidget* Index = nullptr;
    QWidget* SearchPage = nullptr;
    QLineEdit* SearchInput = nullptr;
    QToolButton* SearchButton = nullptr;
    QLabel* SearchStatus = nullptr;
    QListWidget* SearchResults = nullptr;
    QToolButton *BackButton = nullptr, *ForwardButton = nullptr, *HomeButton = nullptr,
                *CloseButton = nullptr;

  signals:
    void searchFinished(int hits);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildWindow(const ViewerTexts& texts);
    void BuildSearch();
    void ShowPage(const QUrl& url);
    void SelectInContents(const QUrl& url);
    void RunPendingSearch();
    void ShowSearchResults(int hits);

    QString helpFile_;
    std::unique_ptr<QTemporaryDir> collectionFolder_;
    QHelpEngine* engine_ = nullptr;
    const ViewerTexts* texts_ = nullptr;
    bool searchStarted_ = false;
    bool indexing_ = false;
    bool indexed_ = false;
    QString pendingSearch_;
};

} // namespace velmora::help
