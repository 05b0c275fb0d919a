// The help window over the program's HTML help pages.
#include "Help.h"

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "data/ProgramDirs.h"

namespace {

QPointer<TfrmHelp> gHelp;

const QString kBuiltIn = QStringLiteral(":/help");
const QString kIndex = QStringLiteral("index.html");

QString readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString firstMatch(const QString& html, const QString& pattern) {
  const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch m = re.match(html);
  return m.hasMatch() ? QTextDocumentFragment::fromHtml(m.captured(1)).toPlainText().simplified() : QString();
}

TfrmHelp* helpWindow(QWidget* parent) {
  if (!gHelp) {
    gHelp = new TfrmHelp(parent ? parent->window() : nullptr);
    gHelp->setAttribute(Qt::WA_DeleteOnClose);
    CentreOnOwner(*gHelp, parent);
  }
  gHelp->show();
  gHelp->raise();
  gHelp->activateWindow();
  return gHelp;
}

}  // namespace

TfrmHelp::TfrmHelp(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmHelp"));
  setWindowTitle(QStringLiteral("Keyhaven Help"));

  tabs = new QTabWidget;
  tvContents = new QTreeWidget;
  tvContents->setObjectName(QStringLiteral("tvContents"));
  tvContents->setHeaderHidden(true);
  tabs->addTab(tvContents, QStringLiteral("Contents"));

  auto* search = new QWidget;
  auto* s = new QVBoxLayout(search);
  auto* lblType = new QLabel(QStringLiteral("&Type in the word(s) you want to find:"));
  txtKeyword = new QLineEdit;
  txtKeyword->setObjectName(QStringLiteral("txtKeyword"));
  txtKeyword->setClearButtonEnabled(true);
  lblType->setBuddy(txtKeyword);
  lstKeywords = new QListWidget;
  lstKeywords->setObjectName(QStringLiteral("lstKeywords"));
  auto* lblTopics = new QLabel(QStringLiteral("Topics found:"));
  lstTopics = new QListWidget;
  lstTopics->setObjectName(QStringLiteral("lstTopics"));
  cmdDisplay = new QPushButton(QStringLiteral("&Display"));
  cmdDisplay->setObjectName(QStringLiteral("cmdDisplay"));
  s->addWidget(lblType);
  s->addWidget(txtKeyword);
  s->addWidget(lstKeywords, 3);
  s->addWidget(lblTopics);
  s->addWidget(lstTopics, 2);
  s->addWidget(cmdDisplay, 0, Qt::AlignRight);
  tabs->addTab(search, QStringLiteral("Search"));

  browser = new QTextBrowser;
  browser->setObjectName(QStringLiteral("browser"));
  browser->setOpenExternalLinks(true);

  auto* split = new QSplitter;
  split->addWidget(tabs);
  split->addWidget(browser);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({270, 590});
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(split);
  resize(860, 560);

  loadPages();

  connect(tvContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && !item->data(0, Qt::UserRole).toString().isEmpty()) OpenPage(item->data(0, Qt::UserRole).toString());
  });
  connect(txtKeyword, &QLineEdit::textChanged, this, &TfrmHelp::filterKeywords);
  connect(txtKeyword, &QLineEdit::returnPressed, this, &TfrmHelp::topicChosen);
  connect(lstKeywords, &QListWidget::currentRowChanged, this, &TfrmHelp::keywordChosen);
  connect(lstTopics, &QListWidget::itemActivated, this, &TfrmHelp::topicChosen);
  connect(lstTopics, &QListWidget::itemDoubleClicked, this, &TfrmHelp::topicChosen);
  connect(cmdDisplay, &QPushButton::clicked, this, &TfrmHelp::topicChosen);

  OpenPage(kIndex);
}

void TfrmHelp::loadPages() {
  QString dir = ProgramDirs::HelpDirectory();
  if (!QFile::exists(dir + QLatin1Char('/') + kIndex)) dir = kBuiltIn;
  base_ = dir == kBuiltIn ? QUrl(QStringLiteral("qrc:/help/")) : QUrl::fromLocalFile(dir + QLatin1Char('/'));

  const QStringList files = QDir(dir).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
  QString index;
  for (const QString& file : files) {
    const QString html = readFile(dir + QLatin1Char('/') + file);
    if (file == kIndex) index = html;
    Page page{file, firstMatch(html, QStringLiteral("<title>(.*?)</title>")),
              QTextDocumentFragment::fromHtml(html).toPlainText(), {}};
    const QString keywords =
        QRegularExpression(QStringLiteral("<meta\\s+name=\"keywords\"\\s+content=\"([^\"]*)\""),
                           QRegularExpression::CaseInsensitiveOption)
            .match(html)
            .captured(1);
    for (const QString& k : keywords.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString keyword = k.trimmed();
      if (keyword.isEmpty()) continue;
      page.keywords << keyword;
      QStringList& list = keywordPages_[keyword.toLower()];
      if (!list.contains(file)) list << file;
    }
    pages_ << page;
  }

  // Contents: the index page's <h2> sections, each with the links below it.
  const QRegularExpression parts(QStringLiteral("<h2[^>]*>(.*?)</h2>|<a\\s+href=\"([^\"#]+\\.html)[^\"]*\"[^>]*>(.*?)</a>"),
                                 QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  auto* top = new QTreeWidgetItem(tvContents, {QStringLiteral("Keyhaven Help")});
  top->setData(0, Qt::UserRole, kIndex);
  QTreeWidgetItem* section = top;
  for (auto it = parts.globalMatch(index); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (!m.captured(1).isEmpty()) {
      section = new QTreeWidgetItem(tvContents, {QTextDocumentFragment::fromHtml(m.captured(1)).toPlainText().simplified()});
    } else {
      // Each page under its own title (the link's text when it has none).
      QString title = QTextDocumentFragment::fromHtml(m.captured(3)).toPlainText().simplified();
      for (const Page& page : pages_)
        if (page.file == m.captured(2) && !page.title.isEmpty()) title = page.title;
      auto* item = new QTreeWidgetItem(section, {title});
      item->setData(0, Qt::UserRole, m.captured(2));
    }
  }
  tvContents->expandAll();

  QStringList keywords;
  for (const Page& page : pages_)
    for (const QString& k : page.keywords)
      if (!keywords.contains(k, Qt::CaseInsensitive)) keywords << k;
  keywords.sort(Qt::CaseInsensitive);
  lstKeywords->addItems(keywords);
}

QStringList TfrmHelp::Search(const QString& word) const {
  const QString w = word.trimmed().toLower();
  if (w.isEmpty()) return {};
  static const QRegularExpression kNonWord(QStringLiteral("[^\\w]+"));
  QStringList found;
  for (auto it = keywordPages_.cbegin(); it != keywordPages_.cend(); ++it) {
    const QStringList words = it.key().split(kNonWord, Qt::SkipEmptyParts);
    if (it.key().startsWith(w) || words.contains(w))
      for (const QString& file : it.value())
        if (!found.contains(file)) found << file;
  }
  if (found.isEmpty())
    for (const Page& page : pages_)
      if (page.text.contains(w, Qt::CaseInsensitive)) found << page.file;
  return found;
}

void TfrmHelp::OpenPage(const QString& page) { browser->setSource(base_.resolved(QUrl(page))); }

QString TfrmHelp::CurrentPage() const { return browser->source().fileName(); }

void TfrmHelp::ShowContents() {
  tabs->setCurrentIndex(0);
  tvContents->setFocus();
}

void TfrmHelp::ShowKeywordSearch(const QString& keyword) {
  tabs->setCurrentIndex(1);
  txtKeyword->setText(keyword);
  txtKeyword->setFocus();
  txtKeyword->selectAll();
}

void TfrmHelp::filterKeywords(const QString& text) {
  // Like the help index: the first keyword that starts with the text becomes
  // current; when none does, the pages that mention the text are offered.
  const QString w = text.trimmed();
  for (int row = 0; row < lstKeywords->count(); ++row) {
    if (!w.isEmpty() && lstKeywords->item(row)->text().startsWith(w, Qt::CaseInsensitive)) {
      lstKeywords->setCurrentRow(row);
      lstKeywords->scrollToItem(lstKeywords->item(row), QAbstractItemView::PositionAtTop);
      return;
    }
  }
  lstKeywords->setCurrentRow(-1);
  showTopics(Search(w));
}

void TfrmHelp::showTopics(const QStringList& files) {
  lstTopics->clear();
  for (const QString& file : files)
    for (const Page& page : pages_)
      if (page.file == file) {
        auto* item = new QListWidgetItem(page.title, lstTopics);
        item->setData(Qt::UserRole, file);
      }
  if (lstTopics->count() > 0) lstTopics->setCurrentRow(0);
}

void TfrmHelp::keywordChosen() {
  const QListWidgetItem* current = lstKeywords->currentItem();
  if (!current) return;
  // The page about the keyword itself comes first.
  QStringList files = keywordPages_.value(current->text().toLower());
  std::stable_partition(files.begin(), files.end(), [&](const QString& file) {
    for (const Page& page : pages_)
      if (page.file == file) return page.title.compare(current->text(), Qt::CaseInsensitive) == 0;
    return false;
  });
  showTopics(files);
}

void TfrmHelp::topicChosen() {
  if (const QListWidgetItem* item = lstTopics->currentItem()) OpenPage(item->data(Qt::UserRole).toString());
}

void ShowHelpContents(QWidget* parent) { helpWindow(parent)->ShowContents(); }

void ShowHelpKeywordSearch(QWidget* parent, const QString& keyword) { helpWindow(parent)->ShowKeywordSearch(keyword); }

void CloseHelp() {
  if (gHelp) gHelp->close();
}

TfrmHelp* HelpWindow() { return gHelp; }
