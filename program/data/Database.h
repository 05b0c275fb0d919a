// A connection to a database by its engine alias.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "../../engine/include/kbe/kbe.h"

class TDataSet;

class TDatabase {
 public:
  explicit TDatabase(const QString& databaseName = QStringLiteral("kh"));
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  // The engine alias the connection opens.
  const QString& DatabaseName() const noexcept { return databaseName_; }
  void setDatabaseName(const QString& name);
  // Connection parameters, one "NAME=VALUE" a line (the value may itself hold
  // '=' characters: "CONNECT=;PWD=secret").
  const QStringList& Params() const noexcept { return params_; }
  void setParams(const QStringList& params) { params_ = params; }
  // Overwrites the parameters' characters (they may hold a password) and
  // forgets them.
  void ClearParams() noexcept;

  void Open();
  // Closes every data set on the database, then the database. Never throws.
  void Close();
  bool Connected() const noexcept { return handle_ != nullptr; }
  void setConnected(bool connected) { connected ? Open() : Close(); }

  // The engine's database handle (null while disconnected).
  kbe::hDBIDb Handle() const noexcept { return handle_; }
  const std::vector<TDataSet*>& DataSets() const noexcept { return dataSets_; }

  // The parameter string DbiAddAlias receives for `params`: NAME:"VALUE"
  // entries separated by ';', in Windows-1252. Refuses (EDatabaseError) a
  // parameter that the engine could not read back as given: a name with ':'
  // or '"', a value with '"', text outside Windows-1252. The message names the
  // parameter but never shows its value.
  static std::string AliasParameterString(const QStringList& params);

 private:
  friend class TDataSet;
  QString databaseName_;
  QStringList params_;
  kbe::hDBIDb handle_ = nullptr;
  std::vector<TDataSet*> dataSets_;
};
