// The program tests' database: a new file with the four sample groups,
// protected by "master", opened through the data module as the program opens
// it (connection, groups, accounts, options).
#pragma once

#include <QString>
#include <memory>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"

inline std::unique_ptr<TDM> OpenNewSampleDatabase(const QString& file) {
  CreateDatabaseFile(file, QStringLiteral("master"), true);
  auto dm = std::make_unique<TDM>();
  dm->DMCreate({file});
  dm->DB.setParams({QStringLiteral("CONNECT=;PWD=master")});
  dm->DB.Open();
  dm->qryGroups.Open();
  dm->qryPasswords.Open();
  dm->qryOptions.Open();
  return dm;
}
