// The account page's hot paths, through the real main window and its
// commands (offscreen):
//   1. switching to a group of 1,000 accounts by picking it in the group
//      selector (the Options row's Group written, the group located, the
//      accounts query re-run, the item count, the list painting its first
//      rows), median over many switches, against the 20 ms goal;
//   2. type-ahead in that group for a letter no description starts with (the
//      longest search: every row is compared);
//   3. saving one edited account (the Save button) in a file of 100 accounts
//      and in one of 100,000, side by side; the ratio is printed last.
//
//   account_bench [repetitions]   (default 30)
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "gui/AccountCommands.h"
#include "gui/Main.h"
#include "gui/controls/AccountList.h"
#include "keyhaven_file.h"

namespace {

const std::string kPassword = "bench-password";

// The median and the fastest of `repetitions` runs of `step`, in ms.
struct Times {
  double median, fastest;
};

Times timeMs(int repetitions, const std::function<void(int)>& step) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = std::chrono::steady_clock::now();
    step(i);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.front()};
}

// The main window, whose account commands bind its widgets to the data
// module.
struct Page {
  explicit Page(TDM& dm) : window(dm), w(window.Accounts().Widgets()), commands(&window.Accounts()) {
    window.show();
  }
  TfrmMain window;
  TAccountWidgets w;
  TAccountCommands* commands;
};

// Opens the file through the main window, as its master-password prompt does.
void openDatabase(Page& page, const QString& file) {
  TDM::StoreAliasPath(file);
  if (!page.window.OpenDatabase(QString::fromStdString(kPassword))) {
    std::fprintf(stderr, "%s does not open\n", qPrintable(file));
    std::exit(1);
  }
}

// Median time of a Save after changing the current account's password.
Times saveMs(const QString& file, int repetitions) {
  TDM dm;
  Page page(dm);
  openDatabase(page, file);
  TQuery& accounts = dm.qryPasswords;
  return timeMs(repetitions, [&](int i) {
    accounts.Edit();
    accounts.FieldByName(QStringLiteral("Password")).setAsString(QStringLiteral("changed-%1").arg(i));
    page.commands->cmdSaveMemoClick();
  });
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  QTemporaryDir root;
  setenv("KBE_ROOT", root.path().toUtf8().constData(), 1);
  setenv("KEYHAVEN_HOME", root.path().toUtf8().constData(), 1);

  // 1. Group switches: 20 groups of 1,000 accounts.
  const QString groupsFile = root.filePath("groups.pdb");
  makeKeyhavenFile(groupsFile, kPassword, 20, 1000);
  Times switchMs{};
  Times typeAheadMs{};
  {
    TDM dm;
    Page page(dm);
    openDatabase(page, groupsFile);
    switchMs = timeMs(repetitions, [&](int i) {
      const int index = page.w.cboGroup->findText(QStringLiteral("Group %1").arg(1000 + (i * 7 + 1) % 20));
      page.w.cboGroup->setCurrentIndex(index);
      emit page.w.cboGroup->activated(index);
      (void)page.w.GridDescription->viewport()->grab();  // paints the first rows
    });
    if (dm.qryPasswords.RecordCount() != 1000 || !page.w.statusPanel->text().startsWith(QStringLiteral("1000 items"))) {
      std::fprintf(stderr, "the group shows %d accounts\n", dm.qryPasswords.RecordCount());
      return 1;
    }
    typeAheadMs = timeMs(repetitions, [&](int) { page.commands->TypeAhead(QLatin1Char('z')); });
  }
  std::printf("switch to a group of 1,000 accounts, first rows painted: median %.2f ms, fastest %.2f ms (goal < 20 ms)\n",
              switchMs.median, switchMs.fastest);
  std::printf("type-ahead over 1,000 accounts, no match: median %.2f ms, fastest %.2f ms\n", typeAheadMs.median,
              typeAheadMs.fastest);

  // 3. Saving one account: 100 accounts against 100,000.
  const QString smallFile = root.filePath("small.pdb");
  const QString largeFile = root.filePath("large.pdb");
  makeKeyhavenFile(smallFile, kPassword, 1, 100);
  makeKeyhavenFile(largeFile, kPassword, 1000, 100);
  const Times small = saveMs(smallFile, repetitions);
  const Times large = saveMs(largeFile, repetitions);
  std::printf("save one edited account (median, fastest): 100 accounts %.3f ms, %.3f ms; 100,000 accounts %.3f ms, %.3f ms\n",
              small.median, small.fastest, large.median, large.fastest);
  std::printf("save time ratio 100,000 / 100 accounts (median): %.2f\n", large.median / small.median);
  return 0;
}
