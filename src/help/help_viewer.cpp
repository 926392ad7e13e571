#include "help/help_viewer.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSplitter>
#include <QTextDocumentFragment>
#include <QThread>
#include <QVBoxLayout>
#include <QtHelp/QCompressedHelpInfo>
#include <QtHelp/QHelpContentWidget>
#include <QtHelp/QHelpEngine>
#include <QtHelp/QHelpIndexWidget>
#include <QtHelp/QHelpLink>
#include <QtHelp/QHelpSearchEngine>
#include <QtHelp/QHelpSearchResult>

#include "help/help_browser.h"
#include "help/help_results.h"
#include "help/search_query.h"
#include "ui/escape_key.h"

namespace velmora::help {

// The viewer's own words, in the language of the help file it shows.
struct ViewerTexts {
    QString title, indexPlaceholder, contents, index, search;
    QString back, backTip, forward, forwardTip, home, homeTip, close, closeTip;
    QString searchPlaceholder, searchButton, searchTip, indexing, found, none;
};

namespace {

const ViewerTexts& TextsFor(const QString& helpNamespace) {
    static const ViewerTexts french{QStringLiteral("Aide de Velmora"),
                                    QStringLiteral("Mot à chercher dans l'index"),
                                    QStringLiteral("Sommaire"),
                                    QStringLiteral("Index"),
                                    QStringLiteral("Recherche"),
                                    QStringLiteral("◀ Précédent"),
                                    QStringLiteral("Page précédente"),
                                    QStringLiteral("Suivant ▶"),
                                    QStringLiteral("Page suivante"),
                                    QStringLiteral("Présentation"),
                                    QStringLiteral("Page de présentation"),
                                    QStringLiteral("Fermer"),
                                    QStringLiteral("Fermer l'aide (Échap)"),
                                    QStringLiteral("Mots à chercher dans les pages"),
                                    QStringLiteral("Chercher"),
                                    QStringLiteral("Chercher ces mots dans toutes les pages"),
                                    QStringLiteral("Préparation de la recherche..."),
                                    QStringLiteral("Pages trouvées : %1"),
                                    QStringLiteral("Aucune page ne contient ces mots.")};
    static const ViewerTexts english{QStringLiteral("Velmora Help"),
                                     QStringLiteral("Word to look for in the index"),
                                     QStringLiteral("Contents"),
                                     QStringLiteral("Index"),
                                     QStringLiteral("Search"),
                                     QStringLiteral("◀ Back"),
                                     QStringLiteral("Previous page"),
                                     QStringLiteral("Forward ▶"),
                                     QStringLiteral("Next page"),
                                     QStringLiteral("About Velmora"),
                                     QStringLiteral("The presentation page"),
                                     QStringLiteral("Close"),
                                     QStringLiteral("Close the help (Esc)"),
                                     QStringLiteral("Words to look for in the pages"),
                                     QStringLiteral("Search"),
                                     QStringLiteral("Look for these words in every page"),
                                     QStringLiteral("Preparing the search..."),
                                     QStringLiteral("Pages found: %1"),
                                     QStringLiteral("No page holds these words.")};
    return helpNamespace.endsWith(QStringLiteral(".en")) ? english : french;
}

} // namespace

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Aide de Velmora"));
    setAttribute(Qt::WA_QuitOnClose, false); // the main window decides when the program ends
    resize(960, 680);
}

THelpViewer::~THelpViewer() {
    if (!engine_) {
        return;
    }
    if (indexing_) {
        engine_->searchEngine()->cancelIndexing();
    }
    // The contents and the index are collected in threads of their own that
    // read the collection file; a viewer closed at once (a busy machine, the
    // main window closed right after F1) must not take the engine and its
    // file away under them. They end by themselves, without an event loop.
    while (engine_->contentModel()->isCreatingContents() ||
           engine_->indexModel()->isCreatingIndex()) {
        QThread::msleep(1);
    }
    // The engine, a child, goes after this destructor: its folder goes with it.
    connect(engine_, &QObject::destroyed,
            [folder = collectionFolder_.release()] { delete folder; });
}

int THelpViewer::Open(const QString& helpFile, QString* detail) {
    if (engine_) {
        return helpFile == helpFile_ ? kHelpShown : kHelpFileUnreadable;
    }
    // Read before any collection is made: a damaged file or another kind of
    // file is the file's fault, not the viewer's.
    const QCompressedHelpInfo info = QCompressedHelpInfo::fromCompressedHelpFile(helpFile);
    if (info.isNull() || info.namespaceName().isEmpty()) {
        if (detail) {
            *detail = QStringLiteral("not a compiled help file");
        }
        return kHelpFileUnreadable;
    }
    collectionFolder_ = std::make_unique<QTemporaryDir>();
    if (!collectionFolder_->isValid()) {
        if (detail) {
            *detail = collectionFolder_->errorString();
        }
        return kNoHelpViewer;
    }
    engine_ = new QHelpEngine(collectionFolder_->filePath(QStringLiteral("velmora.qhc")), this);
    engine_->setReadOnly(false); // the search index is written beside the collection
    engine_->setUsesFilterEngine(true);
    if (!engine_->setupData()) {
        if (detail) {
            *detail = engine_->error();
        }
        return kNoHelpViewer;
    }
    if (!engine_->registerDocumentation(helpFile)) {
        if (detail) {
            *detail = engine_->error();
        }
        return kHelpFileUnreadable;
    }
    helpFile_ = helpFile;
    BuildWindow(TextsFor(info.namespaceName()));
    return kHelpShown;
}

void THelpViewer::BuildWindow(const ViewerTexts& texts) {
    setWindowTitle(texts.title);
    Browser = new THelpBrowser(*engine_, this);
    Browser->setObjectName(QStringLiteral("HelpPage"));

    Contents = engine_->contentWidget();
    Index = engine_->indexWidget();
    IndexFilter = new QLineEdit(this);
    IndexFilter->setPlaceholderText(texts.indexPlaceholder);
    IndexFilter->setClearButtonEnabled(true);
    auto* indexPage = new QWidget(this);
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    indexLayout->addWidget(IndexFilter);
    indexLayout->addWidget(Index);
    SearchPage = new QWidget(this);
    SearchInput = new QLineEdit(SearchPage);
    SearchInput->setPlaceholderText(texts.searchPlaceholder);
    SearchInput->setClearButtonEnabled(true);
    SearchButton = new QToolButton(SearchPage);
    SearchButton->setText(texts.searchButton);
    SearchButton->setToolTip(texts.searchTip);
    SearchStatus = new QLabel(SearchPage);
    SearchStatus->setWordWrap(true);
    SearchResults = new QListWidget(SearchPage);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(SearchInput, 1);
    searchRow->addWidget(SearchButton);
    auto* searchLayout = new QVBoxLayout(SearchPage);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    searchLayout->addLayout(searchRow);
    searchLayout->addWidget(SearchStatus);
    searchLayout->addWidget(SearchResults, 1);

    Tabs = new QTabWidget(this);
    Tabs->addTab(Contents, texts.contents);
    Tabs->addTab(indexPage, texts.index);
    Tabs->addTab(SearchPage, texts.search);

    auto makeButton = [this](const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    BackButton = makeButton(texts.back, texts.backTip);
    ForwardButton = makeButton(texts.forward, texts.forwardTip);
    HomeButton = makeButton(texts.home, texts.homeTip);
    CloseButton = makeButton(texts.close, texts.closeTip);
    BackButton->setEnabled(false);
    ForwardButton->setEnabled(false);
    auto* bar = new QHBoxLayout;
    bar->addWidget(BackButton);
    bar->addWidget(ForwardButton);
    bar->addWidget(HomeButton);
    bar->addStretch(1);
    bar->addWidget(CloseButton);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(Tabs);
    splitter->addWidget(Browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 700});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);

    connect(BackButton, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardButton, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(Browser, &QTextBrowser::backwardAvailable, BackButton, &QWidget::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardButton, &QWidget::setEnabled);
    connect(HomeButton, &QToolButton::clicked, this, [this] { ShowContext(1001); });
    connect(CloseButton, &QToolButton::clicked, this, &QWidget::close);
    connect(Browser, &QTextBrowser::sourceChanged, this, &THelpViewer::SelectInContents);
    connect(Contents, &QHelpContentWidget::linkActivated, this, &THelpViewer::ShowPage);
    connect(engine_->contentModel(), &QHelpContentModel::contentsCreated, this, [this] {
        Contents->expandToDepth(0);
        SelectInContents(Browser->source());
    });
    connect(Index, &QHelpIndexWidget::documentActivated, this,
            [this](const QHelpLink& document, const QString&) { ShowPage(document.url); });
    connect(Index, &QHelpIndexWidget::documentsActivated, this,
            [this](const QList<QHelpLink>& documents, const QString&) {
                if (!documents.isEmpty()) {
                    ShowPage(documents.first().url);
                }
            });
    connect(IndexFilter, &QLineEdit::textChanged, Index,
            [this](const QString& text) { Index->filterIndices(text); });
    connect(IndexFilter, &QLineEdit::returnPressed, Index, &QHelpIndexWidget::activateCurrentItem);
    connect(Tabs, &QTabWidget::currentChanged, this, [this](int tab) {
        if (Tabs->widget(tab) == SearchPage) {
            BuildSearch();
        }
    });
    auto searchTyped = [this] {
        if (!SearchInput->text().trimmed().isEmpty()) {
            Search(SearchInput->text());
        }
    };
    connect(SearchInput, &QLineEdit::returnPressed, this, searchTyped);
    connect(SearchButton, &QToolButton::clicked, this, searchTyped);
    connect(SearchResults, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowPage(item->data(Qt::UserRole).toUrl()); });
    connect(SearchResults, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ShowPage(item->data(Qt::UserRole).toUrl()); });
    texts_ = &texts;

    // The models fill themselves in the background from the registered file.
    engine_->contentModel()->createContents(QString());
    engine_->indexModel()->createIndex(QString());
}

void THelpViewer::BuildSearch() {
    if (searchStarted_ || !engine_) {
        return;
    }
    searchStarted_ = true;
    QHelpSearchEngine* search = engine_->searchEngine();
    connect(search, &QHelpSearchEngine::searchingFinished, this, &THelpViewer::ShowSearchResults);
    connect(search, &QHelpSearchEngine::indexingFinished, this, [this] {
        indexing_ = false;
        indexed_ = true;
        RunPendingSearch();
    });
    indexing_ = true;
    SearchStatus->setText(texts_->indexing);
    search->reindexDocumentation();
}

void THelpViewer::Search(const QString& text) {
    if (!engine_) {
        return;
    }
    BuildSearch();
    if (SearchInput->text() != text) {
        SearchInput->setText(text);
    }
    pendingSearch_ = FullTextQuery(text);
    if (!indexing_) {
        RunPendingSearch();
    }
}

void THelpViewer::RunPendingSearch() {
    if (pendingSearch_.isNull()) {
        return;
    }
    const QString text = pendingSearch_;
    pendingSearch_ = QString();
    engine_->searchEngine()->search(text);
}

void THelpViewer::ShowSearchResults(int hits) {
    SearchResults->clear();
    const QList<QHelpSearchResult> found = engine_->searchEngine()->searchResults(0, hits);
    for (const QHelpSearchResult& result : found) {
        auto* item = new QListWidgetItem(result.title(), SearchResults);
        item->setData(Qt::UserRole, result.url());
        // The passage comes with the words found in bold.
        item->setToolTip(QTextDocumentFragment::fromHtml(result.snippet()).toPlainText());
    }
    SearchStatus->setText(found.isEmpty() ? texts_->none : texts_->found.arg(found.size()));
    emit searchFinished(static_cast<int>(found.size()));
}

QUrl THelpViewer::TopicOf(int context) const {
    if (!engine_) {
        return {};
    }
    const QList<QHelpLink> links = engine_->documentsForIdentifier(QString::number(context));
    return links.isEmpty() ? QUrl() : links.first().url;
}

QUrl THelpViewer::HomePage() const {
    const QUrl presentation = TopicOf(1001);
    if (!presentation.isEmpty() || !engine_) {
        return presentation;
    }
    const QStringList names = engine_->registeredDocumentations();
    if (names.isEmpty()) {
        return {};
    }
    const QList<QUrl> pages = engine_->files(names.first(), QString(), QStringLiteral("html"));
    return pages.isEmpty() ? QUrl() : pages.first();
}

bool THelpViewer::ShowContext(int context) {
    const QUrl topic = TopicOf(context);
    ShowPage(topic.isEmpty() ? HomePage() : topic);
    return !topic.isEmpty();
}

void THelpViewer::ShowPage(const QUrl& url) {
    if (Browser && !url.isEmpty()) {
        Browser->setSource(url);
    }
}

void THelpViewer::SelectInContents(const QUrl& url) {
    if (!Contents || url.isEmpty()) {
        return;
    }
    QUrl page = url;
    page.setFragment(QString());
    const QModelIndex index = Contents->indexOf(page);
    if (index.isValid()) {
        Contents->setCurrentIndex(index);
    }
}

void THelpViewer::keyPressEvent(QKeyEvent* event) {
    if (!ui::EscapeCloses(event, [this] { close(); })) {
        QWidget::keyPressEvent(event);
    }
}

} // namespace velmora::help
