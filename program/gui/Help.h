// The help window: the program's HTML help pages with a contents tree and a
// keyword search, the way the Windows help viewer offered them.
//
// The pages come from the help directory (ProgramDirs::HelpDirectory) when it
// holds "index.html", else from the copy built into the program. Every page
// names its keywords in <meta name="keywords" content="a; b; c">; the index
// page's headings and links make the contents.
#pragma once

#include <QHash>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QWidget>

class TfrmHelp : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmHelp(QWidget* parent = nullptr);

  QTabWidget* tabs;         // "Contents", "Search"
  QTreeWidget* tvContents;  // sections and their pages
  QLineEdit* txtKeyword;    // "Type in the word(s) you want to find"
  QListWidget* lstKeywords; // every keyword; narrowed as the user types
  QListWidget* lstTopics;   // the pages of the chosen keyword
  QPushButton* cmdDisplay;
  QTextBrowser* browser;

  void ShowContents();
  void ShowKeywordSearch(const QString& keyword);

  // The page file names (like "options.html") whose keywords hold `word`
  // (letter case ignored; a keyword that starts with it, or any whole word of
  // it). When no keyword matches, the pages whose text contains it.
  QStringList Search(const QString& word) const;
  // Shows a page of the help ("options.html", "options.html#sounds").
  void OpenPage(const QString& page);
  // The page shown now (its file name), or "".
  QString CurrentPage() const;
  // The base of the page URLs (a directory or the built-in copy).
  const QUrl& Base() const noexcept { return base_; }

 private:
  struct Page {
    QString file, title, text;
    QStringList keywords;
  };
  void loadPages();
  void filterKeywords(const QString& text);
  void keywordChosen();
  void showTopics(const QStringList& files);
  void topicChosen();

  QUrl base_;
  QList<Page> pages_;
  QMap<QString, QStringList> keywordPages_;  // keyword -> page files
};

// "&Contents" (F1): opens (or raises) the help window at its contents.
void ShowHelpContents(QWidget* parent);
// "&Keyword Search": opens (or raises) the help window at its search page,
// with `keyword` typed in.
void ShowHelpKeywordSearch(QWidget* parent, const QString& keyword = {});
// Closes the help window if it is open (when the main window closes).
void CloseHelp();
// The open help window, or null.
TfrmHelp* HelpWindow();
