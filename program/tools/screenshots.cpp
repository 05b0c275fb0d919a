// Saves a picture of every window of the program's shell, driven as a user
// drives them over a real password database file: the main window without and
// with a database, the welcome dialog, the new-database dialog, the
// master-password prompt, the change-password dialog and the about dialog.
//
//   keyhaven_screenshots <output directory>
// Run under a display (scripts/screenshots.sh starts one with Xvfb).
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTest>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"
#include "gui/About.h"
#include "gui/AccountCommands.h"
#include "gui/ChangePassword.h"
#include "gui/EnterMasterPassword.h"
#include "gui/Main.h"
#include "gui/NewMasterPassword.h"
#include "gui/Welcome.h"
#include "gui/controls/AccountList.h"
#include "gui/controls/DBControls.h"
#include "gui/controls/DBEditMove.h"

namespace {

QString gOut;

void save(QWidget* w, const char* name) {
  QApplication::processEvents();
  w->repaint();
  const QString path = gOut + QStringLiteral("/") + QString::fromLatin1(name) + QStringLiteral(".png");
  if (!w->grab().save(path)) std::fprintf(stderr, "could not save %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

// Runs `act` on the next modal dialog of type T once it is painted.
template <class T>
void whenShown(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!w || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    QTimer::singleShot(150, w, [w, act] { act(w); });
  });
  timer->start();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: keyhaven_screenshots <output directory>\n");
    return 2;
  }
  QTemporaryDir home;
  setenv("KBE_ROOT", home.path().toUtf8().constData(), 1);
  setenv("KEYHAVEN_HOME", home.path().toUtf8().constData(), 1);
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Keyhaven"));
  gOut = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(gOut);

  // A real file with sample groups and a few accounts.
  const QString file = home.filePath("accounts.pdb");
  CreateDatabaseFile(file, QStringLiteral("Master#1"), true);
  TDM dm;
  TDM::StoreAliasPath(home.filePath("missing.pdb"));
  TfrmMain frmMain(dm);
  frmMain.centreOnScreen();
  frmMain.show();

  QTimer::singleShot(300, &frmMain, [&] {
    save(&frmMain, "main_no_database");
    // Welcome (No), then the prompt, the dialogs and the open main window.
    whenShown<TfrmWelcome>([&](TfrmWelcome* w) {
      save(w, "welcome");
      w->cmdNo->click();
    });
    frmMain.StartUp();

    TDM::StoreAliasPath(file);
    whenShown<TfrmEnterMasterPassword>([](TfrmEnterMasterPassword* p) {
      p->txtPassword->setText(QStringLiteral("Master#1"));
      save(p, "enter_master_password");
      p->cmdOK->click();
    });
    frmMain.ShowPrompt();

    dm.qryPasswords.DisableControls();
    for (const char* name : {"Bank of Example", "Mail at home", "Web forum", "Work mail"}) {
      dm.qryPasswords.Append();
      dm.qryPasswords.FieldByName("Description").setAsString(QString::fromLatin1(name));
      dm.qryPasswords.FieldByName("ID").setAsString(QStringLiteral("ann.example"));
      dm.qryPasswords.FieldByName("Password").setAsString(QStringLiteral("s3cret-pass"));
      dm.qryPasswords.FieldByName("URL").setAsString(QStringLiteral("https://mail.example.org"));
      dm.qryPasswords.FieldByName("Notes").setAsString(QStringLiteral("Recovery questions in the blue notebook."));
      dm.qryPasswords.FieldByName("AssignDate").setAsDateTime(QDateTime(QDate(2026, 3, 1), QTime()));
      dm.qryPasswords.FieldByName("ExpireDate").setAsDateTime(QDateTime(QDate(2027, 3, 1), QTime()));
      dm.qryPasswords.Post();
    }
    dm.qryPasswords.EnableControls();
    dm.qryPasswords.Close();
    dm.qryPasswords.Open();
    frmMain.Accounts().RefreshItemCount();
    frmMain.AccountList()->setFocus();
    QApplication::processEvents();
    save(&frmMain, "main");
    // A click into the password box shows the password.
    frmMain.activateWindow();
    if (!QTest::qWaitForWindowActive(&frmMain)) std::fprintf(stderr, "the main window did not become active\n");
    QTest::mouseClick(frmMain.PasswordBox(), Qt::LeftButton);
    QApplication::processEvents();
    save(&frmMain, "main_password_shown");
    frmMain.AccountList()->setFocus();

    whenShown<TfrmChangePassword>([](TfrmChangePassword* d) {
      d->txtCurrent->setText(QStringLiteral("Master#1"));
      d->txtNew->setText(QStringLiteral("NewKey#2"));
      save(d, "change_master_password");
      d->reject();
    });
    frmMain.mnuFileChangeMasterPasswordClick();

    whenShown<TfrmAbout>([](TfrmAbout* a) {
      save(a, "about");
      a->accept();
    });
    frmMain.mnuHelpAboutClick();

    const QString family = home.filePath("family.pdb");
    whenShown<QFileDialog>([family](QFileDialog* d) {
      whenShown<TfrmNewMasterPassword>([](TfrmNewMasterPassword* n) {
        n->txtPassword->setText(QStringLiteral("family1"));
        save(n, "new_master_password");
        n->reject();
      });
      auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      name->setText(family);
      QTest::keyClick(name, Qt::Key_Return);
    });
    frmMain.mnuFileNewClick();

    frmMain.close();
    app.quit();
  });
  return app.exec();
}
