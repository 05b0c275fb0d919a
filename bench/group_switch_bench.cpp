// With 1,000 groups of 100 accounts each, makes another group current (which
// re-runs the accounts query) and reads the first 20 rows as the grid shows
// them; prints the median time of a switch.
//
//   group_switch_bench [switches]   (default 50)
#include <stdlib.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "data/DataModule.h"
#include "keyhaven_file.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int switches = argc > 1 ? std::atoi(argv[1]) : 50;
  QTemporaryDir root;
  setenv("KBE_ROOT", root.path().toUtf8().constData(), 1);
  const QString file = root.filePath("bench.pdb");
  makeKeyhavenFile(file, "bench-password", 1000, 100);

  TDM dm;
  TDM::StoreAliasPath(file);
  dm.DB.setParams({QStringLiteral("CONNECT=;PWD=bench-password")});
  dm.DB.Open();
  dm.qryGroups.Open();
  dm.qryPasswords.Open();

  std::vector<double> times;
  std::srand(7);
  for (int i = 0; i < switches; ++i) {
    int target = std::rand() % 1000;
    auto start = std::chrono::steady_clock::now();
    dm.qryGroups.setRecNo(target + 1);
    // What the grid shows: the first 20 rows, every field.
    int rows = 0;
    for (int r = 0; r < 20; ++r) {
      for (const auto& f : dm.qryPasswords.Fields()) (void)dm.qryPasswords.DisplayTextAt(r, *f);
      ++rows;
    }
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (dm.qryPasswords.RecordCount() != 100) {
      std::fprintf(stderr, "group %d shows %d accounts\n", target, dm.qryPasswords.RecordCount());
      return 1;
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("%d group switches over 1000 groups x 100 accounts: median %.2f ms, fastest %.2f ms, slowest %.2f ms\n",
              switches, times[times.size() / 2], times.front(), times.back());
  dm.DB.Close();
  return 0;
}
