// The edit controls of the group and account dialogs and the pure rules
// behind the commands, without a database.
#include <QtTest>

#include "data/AccountRules.h"
#include "gui/controls/EdPlus.h"

// Types `text` key by key, characters outside ASCII included (as a keyboard
// layout with those letters would).
void typeText(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    if (c.unicode() < 0x7F)
      QTest::keyClick(widget, c.toLatin1());
    else
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

class AccountControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void edPlusFilterAndAutoCase_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("autoCase");
    QTest::addColumn<QString>("shown");
    QTest::newRow("words") << "new york" << true << "New York";
    QTest::newRow("apostrophe") << "o'neil" << true << "O'Neil";
    QTest::newRow("hyphen and slash") << "a-b/c" << true << "A-B/C";
    QTest::newRow("after digit and dot") << "1a.b" << true << "1a.b";
    QTest::newRow("capitals stay") << "NEW yORK" << true << "NEW YORK";
    QTest::newRow("off") << "new york" << false << "new york";
    QTest::newRow("double quote dropped") << "say \"hi\"" << true << "Say Hi";
    QTest::newRow("accented dropped") << QString::fromUtf8("caf\u00e9 cr\u00e8me") << true << "Caf Crme";
    QTest::newRow("punctuation passes") << "a!#$%&()*+,-./:;<=>?@[\\]^_`{|}~" << false
                                        << "a!#$%&()*+,-./:;<=>?@[\\]^_`{|}~";
    QTest::newRow("tilde and above") << QString::fromUtf8("x~\u007f\u00a0\u20ac") << false << "x~";
  }

  void edPlusFilterAndAutoCase() {
    QFETCH(QString, typed);
    QFETCH(bool, autoCase);
    QFETCH(QString, shown);
    TEdPlus box;
    QVERIFY(box.AutoCase());
    box.setAutoCase(autoCase);
    typeText(&box, typed);
    QCOMPARE(box.text(), shown);
  }

  void edPlusKeepsPastedTextAndEditingKeys() {
    TEdPlus box;
    box.setText(QString::fromUtf8("caf\u00e9 \"x\""));
    QCOMPARE(box.text(), QString::fromUtf8("caf\u00e9 \"x\""));
    box.setCursorPosition(0);
    QTest::keyClick(&box, Qt::Key_Delete);
    QCOMPARE(box.text(), QString::fromUtf8("af\u00e9 \"x\""));
    box.end(false);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QCOMPARE(box.text(), QString::fromUtf8("af\u00e9 \"x"));
    // Typing over a selection at the start capitalises.
    box.selectAll();
    QTest::keyClicks(&box, "bank");
    QCOMPARE(box.text(), QStringLiteral("Bank"));
  }

  void edPlusKeyPressHookRunsFirst() {
    TEdPlus box;
    QString seen;
    box.OnKeyPress = [&](QChar& key) {
      seen += key;
      if (key == QLatin1Char('\r') || key == QLatin1Char('q')) key = QChar();
    };
    QTest::keyClicks(&box, "aqb");
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(seen, QStringLiteral("aqb\r"));
    QCOMPARE(box.text(), QStringLiteral("Ab"));
  }

  void trimAndNameChecks() {
    QCOMPARE(AccountRules::TrimName(QStringLiteral(" \t Bank\r\n ")), QStringLiteral("Bank"));
    QCOMPARE(AccountRules::TrimName(QStringLiteral("\x01\x1f")), QString());
    QVERIFY(AccountRules::NameProblem(QString(50, QLatin1Char('x')), 50, "group name").isEmpty());
    QVERIFY(AccountRules::NameProblem(QString::fromUtf8("Caf\u00e9 \u20ac"), 50, "group name").isEmpty());
    QVERIFY(AccountRules::NameProblem(QString::fromUtf8("\U0001F600"), 50, "description").contains("\U0001F600"));
  }

  void itemCountTexts() {
    using AccountRules::ItemCountText;
    QCOMPARE(ItemCountText(0, 0, {}, true), std::optional<QString>("0 items"));
    QCOMPARE(ItemCountText(1, 3, "Mail", false), std::optional<QString>("1 item in Mail"));
    QCOMPARE(ItemCountText(12, 3, "Mail", false), std::optional<QString>("12 items in Mail"));
    QCOMPARE(ItemCountText(0, 3, "Mail", false), std::optional<QString>("0 items in Mail"));
    QCOMPARE(ItemCountText(0, 3, {}, true), std::nullopt);
  }

  void webAddresses() {
    using AccountRules::WebAddressUrl;
    QVERIFY(!WebAddressUrl("").isValid());
    QVERIFY(!WebAddressUrl(" \t ").isValid());
    QCOMPARE(WebAddressUrl("https://bank.example/a?b=c"), QUrl("https://bank.example/a?b=c"));
    QCOMPARE(WebAddressUrl(" www.bank.example "), QUrl("http://www.bank.example"));
    QCOMPARE(WebAddressUrl("ftp.files.example"), QUrl("ftp://ftp.files.example"));
    QCOMPARE(WebAddressUrl("mailto:me@example.com"), QUrl("mailto:me@example.com"));
    QCOMPARE(WebAddressUrl("/home/me/bank.html"), QUrl::fromLocalFile("/home/me/bank.html"));
  }
};

QTEST_MAIN(AccountControlsTest)
#include "account_controls_test.moc"
