// The password generator: the draws and their distributions, the word list,
// the strength figures, and the dialog on an account of a real file.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QToolButton>
#include <QMimeData>
#include <QtTest>
#include <deque>
#include <map>

#include "data/PasswordGenerator.h"
#include "data/WordList.h"
#include "feature_fixture.h"
#include "gui/Generate.h"
#include "gui/MessageBox.h"

using namespace Generator;

namespace {

// Hands out queued values, for checking the draw order and the mapping.
class ScriptedRandom : public TRandomSource {
 public:
  explicit ScriptedRandom(std::initializer_list<std::uint32_t> values) : values_(values) {}
  std::uint32_t Next32() override {
    if (values_.empty()) throw std::runtime_error("no value left");
    const auto v = values_.front();
    values_.pop_front();
    ++draws;
    return v;
  }
  int draws = 0;

 private:
  std::deque<std::uint32_t> values_;
};

// A value whose draw for bound n is k: the smallest x with x*n >> 32 == k.
std::uint32_t valueFor(int k, int n) {
  return static_cast<std::uint32_t>(((static_cast<std::uint64_t>(k) << 32) + static_cast<std::uint64_t>(n) - 1) / n);
}
// A value giving code 33 + k for the character draw (bound 94).
std::uint32_t codeValue(char c) { return valueFor(c - 33, 94); }

// Counts of each character over `count` passwords of `length`.
std::map<QChar, int> tally(const TCharClasses& classes, int letterCase, int length, int count) {
  TSystemRandom random;
  std::map<QChar, int> counts;
  for (int i = 0; i < count; ++i) {
    const QString p = MakeRandomPassword(classes, letterCase, length, random);
    if (p.size() != length) return {};
    for (QChar c : p) ++counts[c];
  }
  return counts;
}

// Chi-square of observed counts against expected weights (by character).
double chiSquare(const std::map<QChar, int>& counts, const std::map<QChar, double>& weights) {
  double total = 0, weightSum = 0;
  for (auto& [c, n] : counts) total += n;
  for (auto& [c, w] : weights) weightSum += w;
  double chi = 0;
  for (auto& [c, w] : weights) {
    const double expected = total * w / weightSum;
    const auto it = counts.find(c);
    const double observed = it == counts.end() ? 0 : it->second;
    chi += (observed - expected) * (observed - expected) / expected;
  }
  return chi;
}

std::map<QChar, double> weightsOf(const QString& chars, double weight) {
  std::map<QChar, double> w;
  for (QChar c : chars) w[c] = weight;
  return w;
}

const QString kLower = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
const QString kUpper = kLower.toUpper();
const QString kDigits = QStringLiteral("0123456789");
const QString kSpecial = QStringLiteral("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");

// Upper bound of chi-square for `df` degrees of freedom far beyond chance
// (about 7 standard deviations), so an honest source never fails.
double chiLimit(int df) { return df + 7.0 * std::sqrt(2.0 * df) + 10; }

}  // namespace

class GeneratorTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;
  std::unique_ptr<FeatureFixture> fx_;

  // The database, made only by the tests that need one.
  FeatureFixture& fx() {
    if (!fx_) fx_ = std::make_unique<FeatureFixture>();
    return *fx_;
  }
  std::unique_ptr<TfrmGenerate> openDialog() {
    auto dialog = std::make_unique<TfrmGenerate>(*fx().dm, &fx().mainWindow);
    dialog->show();
    return dialog;
  }
  void writeGenerator(const QString& key, int value) { Settings::WriteInt("Generator", key, value); }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    FeatureFixture::UseRoot(root_);
  }
  void cleanup() { fx_.reset(); }

  // ---- the draws -------------------------------------------------------------------------------

  void drawIsTheHighHalfOfTheProduct() {
    ScriptedRandom r{0u, 0xFFFFFFFFu, 0x80000000u, valueFor(93, 94), valueFor(93, 94) - 1};
    QCOMPARE(r.Random(94), 0);
    QCOMPARE(r.Random(94), 93);
    QCOMPARE(r.Random(94), 47);
    QCOMPARE(r.Random(94), 93);
    QCOMPARE(r.Random(94), 92);
  }

  void wordPatternsDrawInTheirOrder() {
    const QStringList words{"able", "bread", "castle", "dove"};
    ScriptedRandom a{valueFor(2, 4), valueFor(8, 9), valueFor(1, 4)};
    QCOMPARE(MakeWordPassword(words, wpWordDigitWord, a), QStringLiteral("castle8bread"));
    ScriptedRandom b{valueFor(3, 4), valueFor(0, 9)};
    QCOMPARE(MakeWordPassword(words, wpWordDigit, b), QStringLiteral("dove0"));
    ScriptedRandom c{valueFor(0, 4)};
    QCOMPARE(MakeWordPassword(words, wpWordOnly, c), QStringLiteral("able"));
    QCOMPARE(c.draws, 1);
  }

  void rejectedCodesAreDrawnAgain() {
    // Numbers only: "A", "!", then "7"; the case rule applies to letters only.
    ScriptedRandom r{codeValue('A'), codeValue('!'), codeValue('7'), codeValue('~'), codeValue('0')};
    int pumped = 0;
    QCOMPARE(MakeRandomPassword({false, true, false}, lcLower, 2, r, [&] { ++pumped; }), QStringLiteral("70"));
    QCOMPARE(r.draws, 5);
    QCOMPARE(pumped, 5);
    ScriptedRandom lower{codeValue('Q'), codeValue('q')};
    QCOMPARE(MakeRandomPassword({true, false, false}, lcLower, 2, lower), QStringLiteral("qq"));
    ScriptedRandom upper{codeValue('Q'), codeValue('q')};
    QCOMPARE(MakeRandomPassword({true, false, false}, lcUpper, 2, upper), QStringLiteral("QQ"));
    ScriptedRandom mixed{codeValue('Q'), codeValue('q')};
    QCOMPARE(MakeRandomPassword({true, false, false}, lcMixed, 2, mixed), QStringLiteral("Qq"));
    ScriptedRandom none{};
    QCOMPARE(MakeRandomPassword({false, false, false}, lcLower, 6, none), QString());
  }

  // With "Lower" each letter comes twice as often as each digit.
  void lowerLettersTwiceAsLikelyAsDigits() {
    const auto counts = tally({true, true, false}, lcLower, 6, 20000);  // 120,000 characters
    QVERIFY(!counts.empty());
    auto weights = weightsOf(kLower, 2.0);
    for (auto& [c, w] : weightsOf(kDigits, 1.0)) weights[c] = w;
    int letters = 0, digits = 0;
    for (auto& [c, n] : counts) {
      QVERIFY2(weights.count(c), qPrintable(QString("unexpected character %1").arg(c)));
      (c.isDigit() ? digits : letters) += n;
    }
    QVERIFY(chiSquare(counts, weights) < chiLimit(35));
    // Letters make 52 of every 62 characters: 0.8387, within 7 standard deviations.
    const double share = double(letters) / (letters + digits);
    QVERIFY2(std::abs(share - 52.0 / 62.0) < 7 * std::sqrt(0.8387 * 0.1613 / 120000), qPrintable(QString::number(share)));
  }

  // Each setting with one class only gives exactly that class, evenly.
  void everyClassOnlySetting_data() {
    QTest::addColumn<bool>("letters");
    QTest::addColumn<bool>("numbers");
    QTest::addColumn<bool>("special");
    QTest::addColumn<int>("letterCase");
    QTest::addColumn<QString>("allowed");
    QTest::newRow("letters lower") << true << false << false << int(lcLower) << kLower;
    QTest::newRow("letters mixed") << true << false << false << int(lcMixed) << kLower + kUpper;
    QTest::newRow("letters upper") << true << false << false << int(lcUpper) << kUpper;
    QTest::newRow("numbers") << false << true << false << int(lcLower) << kDigits;
    QTest::newRow("special") << false << false << true << int(lcMixed) << kSpecial;
  }
  void everyClassOnlySetting() {
    QFETCH(bool, letters);
    QFETCH(bool, numbers);
    QFETCH(bool, special);
    QFETCH(int, letterCase);
    QFETCH(QString, allowed);
    const auto counts = tally({letters, numbers, special}, letterCase, 20, 2500);  // 50,000 characters
    QVERIFY(!counts.empty());
    QCOMPARE(int(counts.size()), int(allowed.size()));  // every allowed character appears, nothing else
    for (auto& [c, n] : counts) QVERIFY2(allowed.contains(c), qPrintable(QString(c)));
    QVERIFY(chiSquare(counts, weightsOf(allowed, 1.0)) < chiLimit(int(allowed.size()) - 1));
  }

  void mixedCaseWithSpecialIsUniformOverAllCodes() {
    const auto counts = tally({true, true, true}, lcMixed, 20, 3000);
    QCOMPARE(int(counts.size()), 94);
    QVERIFY(chiSquare(counts, weightsOf(kLower + kUpper + kDigits + kSpecial, 1.0)) < chiLimit(93));
  }

  void wordPlusDigitNeverEndsInNine() {
    const QStringList words = WordList::Load();
    TSystemRandom random;
    std::map<QChar, int> digits;
    for (int i = 0; i < 20000; ++i) {
      const QString p = MakeWordPassword(words, wpWordDigit, random);
      QVERIFY(p.size() >= 5 && p.size() <= 7);
      QVERIFY(p.at(p.size() - 1).isDigit());
      ++digits[p.at(p.size() - 1)];
      QVERIFY(words.contains(p.left(p.size() - 1)));
    }
    QCOMPARE(digits.count(QChar('9')), std::size_t(0));
    QCOMPARE(int(digits.size()), 9);
    QVERIFY(chiSquare(digits, weightsOf("012345678", 1.0)) < chiLimit(8));
    const QString two = MakeWordPassword(words, wpWordDigitWord, random);
    QVERIFY(QRegularExpression("^[a-z]{4,6}[0-8][a-z]{4,6}$").match(two).hasMatch());
  }

  void wordListHasItsForm() {
    const QByteArray raw = WordList::Raw();
    QCOMPARE(raw.size(), 194276);
    QVERIFY(raw.endsWith("\r\n"));
    QCOMPARE(raw.count('\n'), 26661);
    QCOMPARE(raw.count("\r\n"), 26661);
    QCOMPARE(raw.count('\r'), 26661);
    const QStringList words = WordList::Load();
    QCOMPARE(words.size(), 26661);
    std::map<int, int> byLength;
    const QRegularExpression form("^[a-z]{4,6}$");
    for (int i = 0; i < words.size(); ++i) {
      QVERIFY2(form.match(words[i]).hasMatch(), qPrintable(words[i]));
      if (i > 0) QVERIFY2(words[i - 1] < words[i], qPrintable(words[i]));  // sorted, distinct
      ++byLength[int(words[i].size())];
    }
    QCOMPARE(byLength[4], 5094);
    QCOMPARE(byLength[5], 8824);
    QCOMPARE(byLength[6], 12743);
  }

  void strengthFigures() {
    QCOMPARE(WordPasswordBits(26661, wpWordOnly), std::log2(26661.0));
    QCOMPARE(WordPasswordBits(26661, wpWordDigitWord), 2 * std::log2(26661.0) + std::log2(9.0));
    // Mixed case over all classes: 94 equally likely characters.
    QVERIFY(std::abs(RandomPasswordBits({true, true, true}, lcMixed, 10) - 10 * std::log2(94.0)) < 1e-9);
    // Lower, letters and numbers: 26 letters at 2/62 and 10 digits at 1/62.
    const double perChar = 26 * (2.0 / 62) * std::log2(31.0) + 10 * (1.0 / 62) * std::log2(62.0);
    QVERIFY(std::abs(RandomPasswordBits({true, true, false}, lcLower, 6) - 6 * perChar) < 1e-9);
    QCOMPARE(RandomPasswordBits({false, false, false}, lcLower, 6), 0.0);
    // Typed text: repeats and runs count one bit each.
    QCOMPARE(EstimatedBits("aaaa"), std::log2(26.0) + 3);
    QCOMPARE(EstimatedBits("abcd"), 2 * std::log2(26.0) + 2);
    QVERIFY(EstimatedBits("Tr0ub4dor&3") > 60);
    QCOMPARE(StrengthWord(20), QStringLiteral("weak"));
    QCOMPARE(StrengthWord(50), QStringLiteral("fair"));
    QCOMPARE(StrengthWord(80), QStringLiteral("strong"));
  }

  // ---- the dialog ------------------------------------------------------------------------------

  void opensWithDefaultsAndMakesPasswords() {
    fx().AddAccount("Misc Accounts", "Bank");
    auto dialog = openDialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral(" Password Generator"));
    QCOMPARE(dialog->txtPassword->text(), QString());
    QCOMPARE(dialog->TypeIndex(), 0);
    QCOMPARE(dialog->CaseIndex(), 0);
    QCOMPARE(dialog->txtLength->value(), 6);
    QVERIFY(dialog->chkLetter->isChecked() && dialog->chkNumber->isChecked() && !dialog->chkSpecial->isChecked());
    QCOMPARE(dialog->focusWidget(), dialog->cmdHard);
    QTest::mouseClick(dialog->cmdHard, Qt::LeftButton);
    QVERIFY(QRegularExpression("^[a-z0-9]{6}$").match(dialog->txtPassword->text()).hasMatch());
    QVERIFY(dialog->lblStrength->text().contains("bits (weak)"));
    dialog->RGTypeButtons->button(1)->click();
    QTest::mouseClick(dialog->cmdCreateEasy, Qt::LeftButton);
    QVERIFY(QRegularExpression("^[a-z]{4,6}[0-8][a-z]{4,6}$").match(dialog->txtPassword->text()).hasMatch());
    // Copy puts the whole box on the clipboard.
    QTest::mouseClick(dialog->cmdCopy, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), dialog->txtPassword->text());
    QCOMPARE(QApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), QByteArray("secret"));
    // Centred on the main window, halves truncated.
    const QRect main = fx().mainWindow.frameGeometry();
    QCOMPARE(dialog->frameGeometry().left(), main.left() + main.width() / 2 - dialog->frameGeometry().width() / 2);
  }

  void noClassChosenIsRefused() {
    fx().AddAccount("Misc Accounts", "Bank");
    MessageBox::Script script;
    auto dialog = openDialog();
    dialog->chkLetter->setChecked(false);
    dialog->chkNumber->setChecked(false);
    dialog->txtPassword->setText("typed");
    QTest::mouseClick(dialog->cmdHard, Qt::LeftButton);
    QCOMPARE(script.LastText(), QStringLiteral("Please specify any combination of letters, numbers or special characters"));
    QCOMPARE(script.Boxes().back().icon, QMessageBox::Information);
    QCOMPARE(dialog->txtPassword->text(), QStringLiteral("typed"));
    // The box brought back the saved choices.
    QVERIFY(dialog->chkLetter->isChecked() && dialog->chkNumber->isChecked());
  }

  void outOfRangeSettingsLeaveTheControls() {
    fx().AddAccount("Misc Accounts", "Bank");
    writeGenerator("Easy", 5);
    writeGenerator("Length", 0);
    writeGenerator("Case", 3);
    Settings::WriteBool("Generator", "Special", true);
    auto dialog = openDialog();
    QCOMPARE(dialog->TypeIndex(), 0);
    QCOMPARE(dialog->txtLength->value(), 6);
    QCOMPARE(dialog->CaseIndex(), 0);
    QVERIFY(dialog->chkSpecial->isChecked());
    writeGenerator("Easy", 2);
    writeGenerator("Length", 99);
    writeGenerator("Case", 2);
    auto second = openDialog();
    QCOMPARE(second->TypeIndex(), 2);
    QCOMPARE(second->txtLength->value(), 99);
    QCOMPARE(second->CaseIndex(), 2);
    writeGenerator("Length", 100);
    auto third = openDialog();
    QCOMPARE(third->txtLength->value(), 6);
  }

  void emptyBoxOnOkStays() {
    fx().AddAccount("Misc Accounts", "Bank");
    MessageBox::Script script;
    auto dialog = openDialog();
    dialog->txtPassword->setText("  \t ");
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QCOMPARE(script.LastText(), QStringLiteral("No Password has been generated. Please generate a password or press Cancel"));
    QCOMPARE(script.Boxes().back().icon, QMessageBox::NoIcon);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(fx().dm->qryPasswords.State(), TDataSetState::dsBrowse);
  }

  void okWithoutChangeWritesNothingButSavesSettings() {
    fx().AddAccount("Misc Accounts", "Bank", {{"Password", "stored-1"}});
    MessageBox::Script script;
    auto dialog = openDialog();
    QCOMPARE(dialog->txtPassword->text(), QStringLiteral("stored-1"));
    dialog->txtLength->setValue(12);
    dialog->RGCaseButtons->button(2)->click();
    dialog->chkSpecial->setChecked(true);
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QVERIFY(script.Boxes().empty());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(fx().dm->qryPasswords.State(), TDataSetState::dsBrowse);
    QCOMPARE(Settings::ReadInt("Generator", "Length", 0), 12);
    QCOMPARE(Settings::ReadInt("Generator", "Case", 0), 2);
    QCOMPARE(Settings::ReadInt("Generator", "Easy", 9), 0);
    QCOMPARE(Settings::ReadBool("Generator", "Special", false), true);
    QCOMPARE(Settings::ReadBool("Generator", "Letter", false), true);
  }

  void replacingAskesFirstAndCancelStays() {
    fx().AddAccount("Misc Accounts", "Bank", {{"Password", "old \"pw\""}});
    MessageBox::Script script;
    auto dialog = openDialog();
    dialog->txtPassword->setText("brandnew");
    script.Answer({QMessageBox::Cancel});
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QCOMPARE(script.LastText(), QStringLiteral("Are you sure you want to replace the current password: \"old \"pw\"\" ?"));
    QCOMPARE(script.Boxes().back().buttons, QMessageBox::Yes | QMessageBox::Cancel);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->txtPassword->text(), QStringLiteral("old \"pw\""));  // back to the stored one
    QCOMPARE(fx().dm->qryPasswords.State(), TDataSetState::dsBrowse);
    QVERIFY(!QFile::exists(Settings::FilePath()));

    dialog->txtPassword->setText("brandnew");
    dialog->txtLength->setValue(9);
    script.Answer({QMessageBox::Yes});
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    // Written, left in edit state for the main window's Save and Undo.
    QCOMPARE(fx().dm->qryPasswords.State(), TDataSetState::dsEdit);
    QCOMPARE(fx().dm->qryPasswords.FieldByName("Password").AsString(), QStringLiteral("brandnew"));
    QCOMPARE(Settings::ReadInt("Generator", "Length", 0), 9);
    // Undo gives the stored password back.
    fx().dm->qryPasswords.Cancel();
    QCOMPARE(fx().dm->qryPasswords.FieldByName("Password").AsString(), QStringLiteral("old \"pw\""));
  }

  void noQuestionWithoutStoredPasswordOrWhenSwitchedOff() {
    fx().AddAccount("Misc Accounts", "Bank");
    MessageBox::Script script;
    auto dialog = openDialog();
    dialog->txtPassword->setText("first");
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QVERIFY(script.Boxes().empty());
    QCOMPARE(fx().dm->qryPasswords.FieldByName("Password").AsString(), QStringLiteral("first"));
    fx().dm->qryPasswords.Post();

    fx().dm->qryOptions.Edit();
    fx().dm->qryOptions.FieldByName("promptpassword").setAsBoolean(false);
    fx().dm->qryOptions.Post();
    auto second = openDialog();
    QCOMPARE(second->txtPassword->text(), QStringLiteral("first"));
    second->txtPassword->setText("second");
    QTest::mouseClick(second->cmdOK, Qt::LeftButton);
    QVERIFY(script.Boxes().empty());
    QCOMPARE(second->result(), int(QDialog::Accepted));
    fx().dm->qryPasswords.Post();
    fx().dm->qryPasswords.Refresh();
    QCOMPARE(fx().dm->qryPasswords.FieldByName("Password").AsString(), QStringLiteral("second"));
  }

  void cancelAndEscapeChangeNothing() {
    fx().AddAccount("Misc Accounts", "Bank", {{"Password", "kept"}});
    auto dialog = openDialog();
    dialog->txtPassword->setText("other");
    dialog->txtLength->setValue(20);
    QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    auto second = openDialog();
    second->txtPassword->setText("other");
    QTest::keyClick(second.get(), Qt::Key_Escape);
    QVERIFY(!second->isVisible());
    QCOMPARE(fx().dm->qryPasswords.State(), TDataSetState::dsBrowse);
    QCOMPARE(fx().dm->qryPasswords.FieldByName("Password").AsString(), QStringLiteral("kept"));
    QVERIFY(!QFile::exists(Settings::FilePath()));
  }
};

QTEST_MAIN(GeneratorTest)
#include "generator_test.moc"
