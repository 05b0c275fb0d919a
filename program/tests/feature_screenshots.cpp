// Grabs the generator, find and expired-accounts dialogs, filled from a
// sample database, into PNG files:
//
//   feature_screenshots <directory>
//
// Run offscreen (QT_QPA_PLATFORM=offscreen) or under xvfb-run.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "feature_fixture.h"
#include "gui/Expired.h"
#include "gui/Find.h"
#include "gui/Generate.h"

namespace {

bool save(QWidget& window, const QString& path) {
  window.show();
  QCoreApplication::processEvents();
  const bool ok = window.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

QVariantMap expires(int days, const QString& id = {}) {
  QVariantMap fields{{"ExpireDate", QDateTime(QDate::currentDate().addDays(days), QTime(0, 0))}};
  if (!id.isEmpty()) fields["ID"] = id;
  return fields;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
  QDir().mkpath(out);
  QTemporaryDir root;
  FeatureFixture::UseRoot(root);
  FeatureFixture fx;
  fx.AddAccount("Email Accounts", "Home Mail", expires(-40, "me@bank-mail.example"));
  fx.AddAccount("Email Accounts", "Work Mail", expires(30));
  fx.AddAccount("Misc Accounts", "Bank of Springfield", expires(-12, "jsmith"));
  fx.AddAccount("Misc Accounts", "Library Card", expires(-3));
  fx.AddAccount("Web Discussion Boards", "Banking Forum", expires(-3));
  fx.AddAccount("Web Subscriptions", "Daily News", expires(0, "reader"));
  fx.AddAccount("Web Subscriptions", "Video Club", expires(0));
  fx.mainWindow.show();

  bool ok = true;
  {
    fx.SelectGroup("Misc Accounts");
    fx.dm->qryPasswords.First();
    TfrmGenerate dialog(*fx.dm, &fx.mainWindow);
    dialog.show();
    dialog.cmdHardClick();
    ok &= save(dialog, out + "/TfrmGenerate.png");
  }
  {
    TfrmFind dialog(*fx.dm, &fx.mainWindow);
    dialog.show();
    dialog.txtFind->setText("bank");
    dialog.cmdFindClick();
    ok &= save(dialog, out + "/TfrmFind.png");
  }
  {
    fx.dm->qryExpired.Open();
    TfrmExpired dialog(*fx.dm, &fx.mainWindow, true);
    ok &= save(dialog, out + "/TfrmExpired.png");
  }
  return ok ? 0 : 1;
}
