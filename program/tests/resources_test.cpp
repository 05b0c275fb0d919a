// The built-in resources (pictures, sounds, icon, help pages), the desktop
// file, and the help window's contents and keyword search.
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/Help.h"
#include "gui/Resources.h"
#include "screenshot_support.h"

#ifndef KH_SOURCE_DIR
#error "KH_SOURCE_DIR must name the source tree"
#endif

class ResourcesTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;

  static QImage render(const QString& path, int size) {
    QSvgRenderer svg(path);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    svg.render(&p);
    return image;
  }

  // The commands of the menus and buttons, as their captions and hints read.
  static QStringList commands() {
    return {"New", "Open", "Close Database", "Change Master Password", "Exit", "Undo", "Cut", "Copy", "Paste",
            "Find", "View Access Log", "Options", "Reports", "Add", "Edit Description", "Expired Passwords",
            "Delete", "Contents", "Keyword Search", "Keyhaven Website", "About Keyhaven", "New Group", "Edit Group",
            "Delete Group", "Open Database", "New Database", "Add Password", "Edit Password", "Delete Password",
            "Generate Password", "Go to Web Address", "Clear Log", "Transfer"};
  }

 private slots:
  void initTestCase() {
    // No help directory there: the window falls back to the built-in pages.
    qputenv("KEYHAVEN_HOME", home_.path().toLocal8Bit());
    Resources::Init();
  }

  void everyButtonHasAnOnOffPicturePair() {
    QCOMPARE(Resources::PictureComponents().size(), 17);
    for (const QString& name : Resources::PictureComponents()) {
      for (bool on : {true, false}) {
        const QString path = Resources::PicturePath(name, on);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QSvgRenderer svg(path);
        QVERIFY2(svg.isValid(), qPrintable(path));
        QVERIFY(!Resources::Picture(name, on).isNull());
      }
      // The pair differs, and both are drawn sharp at any size.
      const QImage on = render(Resources::PicturePath(name, true), 32);
      const QImage off = render(Resources::PicturePath(name, false), 32);
      QVERIFY2(on != off, qPrintable(name));
      QVERIFY(render(Resources::PicturePath(name, false), 96).pixelColor(48, 48).alpha() >= 0);
    }
    QVERIFY(!QFile::exists(Resources::PicturePath("cmdNoSuchButton", true)));
  }

  void soundsAreWaveFiles() {
    for (const QString& name : Resources::SoundNames()) {
      QFile f(Resources::SoundPath(name));
      QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
      const QByteArray data = f.readAll();
      QVERIFY(data.size() > 44 + 200);
      QCOMPARE(data.left(4), QByteArray("RIFF"));
      QCOMPARE(data.mid(8, 4), QByteArray("WAVE"));
      QCOMPARE(Resources::SoundUrl(name).toString(), "qrc:/sounds/" + name + ".wav");
    }
  }

  void iconAndDesktopFile() {
    QVERIFY(!Resources::AppIcon().isNull());
    QVERIFY(QSvgRenderer(QStringLiteral(":/icons/keyhaven.svg")).isValid());
    QFile desktop(QStringLiteral(KH_SOURCE_DIR "/resources/keyhaven.desktop"));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(desktop.readAll());
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    for (const char* line : {"Type=Application\n", "Name=Keyhaven\n", "Exec=keyhaven %f\n", "Icon=keyhaven\n"})
      QVERIFY2(text.contains(line), line);
  }

  void helpCoversEveryCommand() {
    TfrmHelp help;
    QCOMPARE(help.Base(), QUrl("qrc:/help/"));
    for (const QString& command : commands())
      QVERIFY2(!help.Search(command).isEmpty(), qPrintable(command));
    QVERIFY(help.Search("Clear Log").contains("access_log.html"));
    QVERIFY(help.Search("options").contains("options.html"));
    QVERIFY(help.Search("ctrl+l").contains("edit_menu.html"));
    // Not a keyword: the pages that mention it.
    QVERIFY(help.Search("hourglass").isEmpty());
    QVERIFY(help.Search("oldest").contains("access_log.html"));
    QVERIFY(help.Search("  ").isEmpty());
  }

  void helpLinksLeadToPages() {
    const QDir pages(QStringLiteral(":/help"));
    const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)(#[^\"]*)?\""));
    const QRegularExpression picture(QStringLiteral("src=\"qrc(:/[^\"]+)\""));
    for (const QString& file : pages.entryList({"*.html"})) {
      QFile f(pages.filePath(file));
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QString html = QString::fromUtf8(f.readAll());
      QVERIFY2(html.contains("<title>"), qPrintable(file));
      QVERIFY2(html.contains("name=\"keywords\""), qPrintable(file));
      for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        QVERIFY2(pages.exists(target), qPrintable(file + " -> " + target));
      }
      for (auto it = picture.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        QVERIFY2(QFile::exists(target), qPrintable(file + " -> " + target));
      }
    }
  }

  void contentsAndKeywordSearchOpenPages() {
    ShowHelpContents(nullptr);
    TfrmHelp* help = HelpWindow();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->tabs->currentIndex(), 0);
    QCOMPARE(help->CurrentPage(), QString("index.html"));
    // The contents: its sections and, under them, the pages.
    QVERIFY(help->tvContents->topLevelItemCount() >= 4);
    const QList<QTreeWidgetItem*> found = help->tvContents->findItems("Options", Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    help->tvContents->setCurrentItem(found[0]);
    QCOMPARE(help->CurrentPage(), QString("options.html"));
    QVERIFY(help->browser->toPlainText().contains("Database Maintenance interval"));

    // Keyword Search: typing moves to the keyword, Enter shows its page.
    ShowHelpKeywordSearch(nullptr);
    QCOMPARE(HelpWindow(), help);  // one window
    QCOMPARE(help->tabs->currentIndex(), 1);
    QTest::keyClicks(help->txtKeyword, "clear l");
    QCOMPARE(help->lstKeywords->currentItem()->text(), QString("Clear Log"));
    QCOMPARE(help->lstTopics->count(), 1);
    QTest::keyClick(help->txtKeyword, Qt::Key_Return);
    QCOMPARE(help->CurrentPage(), QString("access_log.html"));
    // A word that is no keyword lists the pages that mention it.
    help->txtKeyword->clear();
    QTest::keyClicks(help->txtKeyword, "verified");
    QVERIFY(!help->lstKeywords->currentItem());
    QVERIFY(help->lstTopics->count() >= 1);
    QTest::mouseClick(help->cmdDisplay, Qt::LeftButton);
    QVERIFY(help->browser->toPlainText().contains("verified"));

    ShowHelpKeywordSearch(nullptr, "Find");
    QCOMPARE(help->txtKeyword->text(), QString("Find"));
    QCOMPARE(help->lstKeywords->currentItem()->text(), QString("Find"));
    QTest::mouseClick(help->cmdDisplay, Qt::LeftButton);
    QCOMPARE(help->CurrentPage(), QString("find.html"));  // the keyword's own page first
    SaveScreenshot(*help, "help_search");
    ShowHelpContents(nullptr);
    help->tvContents->setCurrentItem(help->tvContents->findItems("Toolbar buttons", Qt::MatchExactly | Qt::MatchRecursive)[0]);
    QCOMPARE(help->CurrentPage(), QString("toolbar.html"));
    SaveScreenshot(*help, "help");

    CloseHelp();
    QTRY_VERIFY(!HelpWindow());
    CloseHelp();  // nothing open: nothing happens
  }

  void helpPagesOnDiskComeFirst() {
    // An installation's (or a user's) own pages replace the built-in copy.
    const QString dir = home_.filePath("help");
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(QFile::copy(":/help/index.html", dir + "/index.html"));
    QFile page(dir + "/local.html");
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Local</title><meta name=\"keywords\" content=\"site policy\"></head>"
               "<body>Our own rules.</body></html>");
    page.close();
    TfrmHelp help;
    QCOMPARE(help.Base(), QUrl::fromLocalFile(dir + "/"));
    QCOMPARE(help.Search("site"), QStringList({"local.html"}));
    help.OpenPage("local.html");
    QVERIFY(help.browser->toPlainText().contains("Our own rules."));
    QVERIFY(QDir(dir).removeRecursively());
  }

  void pictureContactSheet() {
    if (ScreenshotDir().isEmpty()) QSKIP("KH_SCREENSHOTS not set");
    // Every pair at toolbar size and large, OFF above ON.
    const QStringList names = Resources::PictureComponents();
    const int cell = 110;
    QImage sheet(names.size() * cell + 20, 2 * 150 + 40, QImage::Format_RGB32);
    sheet.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter p(&sheet);
    QFont font = p.font();
    font.setPointSize(7);
    p.setFont(font);
    for (int i = 0; i < names.size(); ++i) {
      for (int row = 0; row < 2; ++row) {
        const bool on = row == 1;
        const int x = 10 + i * cell, y = 10 + row * 150;
        p.drawImage(QPoint(x + 39, y), render(Resources::PicturePath(names[i], on), 32));
        p.drawImage(QPoint(x + 23, y + 40), render(Resources::PicturePath(names[i], on), 64));
        p.drawText(QRect(x, y + 108, cell, 16), Qt::AlignCenter, names[i] + (on ? " ON" : " OFF"));
      }
    }
    p.end();
    SaveScreenshot(sheet, "toolbar_pictures");
  }
};

QTEST_MAIN(ResourcesTest)
#include "resources_test.moc"
