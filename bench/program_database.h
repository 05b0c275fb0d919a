// The program benchmarks' database: a new file in a temporary engine
// configuration, filled by the benchmark, then opened by the data module as
// the program opens it (connection, groups, accounts).
#pragma once

#include <stdlib.h>

#include <QTemporaryDir>
#include <functional>
#include <string>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"

inline void openBenchDatabase(const QTemporaryDir& root, TDM& dm,
                              const std::function<void(const std::string& file, const std::string& password)>& fill) {
  setenv("KBE_ROOT", root.path().toUtf8().constData(), 1);
  const QString file = root.filePath("bench.pdb");
  CreateDatabaseFile(file, "bench-password", false);
  fill(file.toStdString(), "bench-password");
  TDM::StoreAliasPath(file);
  dm.DB.setParams({QStringLiteral("CONNECT=;PWD=bench-password")});
  dm.DB.Open();
  dm.qryGroups.Open();
  dm.qryPasswords.Open();
}
