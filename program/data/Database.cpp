// Connections: the session-only alias definition, open and close.
#include "Database.h"

#include "DataSet.h"
#include "DatabaseError.h"
#include "Session.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DataSetSupport.h"
#include "binding/Bde.h"

using namespace keyhaven::data;

TDatabase::TDatabase(const QString& databaseName) : databaseName_(databaseName) {
  TSession::Instance().databases_.push_back(this);
}

TDatabase::~TDatabase() {
  Close();
  for (TDataSet* ds : dataSets_) ds->database_ = nullptr;
  auto& list = TSession::Instance().databases_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TDatabase::setDatabaseName(const QString& name) {
  if (name == databaseName_) return;
  Close();
  databaseName_ = name;
}

std::string TDatabase::AliasParameterString(const QStringList& params) {
  std::string out;
  for (const QString& line : params) {
    if (line.isEmpty()) continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    const QString name = eq < 0 ? line : line.left(eq);
    const QString value = eq < 0 ? QString() : line.mid(eq + 1);
    if (name.trimmed().isEmpty()) throw EDatabaseError(QStringLiteral("A connection parameter has no name"));
    if (name.contains(QLatin1Char(':')) || name.contains(QLatin1Char('"')))
      throw EDatabaseError(
          QStringLiteral("The connection parameter name %1 cannot contain a colon or a double quote").arg(name));
    // The engine reads a value up to the next double quote.
    if (value.contains(QLatin1Char('"')))
      throw EDatabaseError(QStringLiteral("The connection parameter %1 cannot contain a double quote").arg(name));
    std::string ansiName;
    std::string ansiValue;
    if (!toAnsi(name, ansiName) || !toAnsi(value, ansiValue))
      throw EDatabaseError(
          QStringLiteral("The connection parameter %1 holds a character outside the Windows-1252 character set")
              .arg(name));
    if (!out.empty()) out += ';';
    out += ansiName + ":\"" + ansiValue + '"';
    wipe(ansiValue);
  }
  return out;
}

void TDatabase::ClearParams() noexcept {
  // Non-const access detaches a list or string still shared with a copy, so
  // what is overwritten is this object's own buffer.
  for (QString& param : params_) param.fill(QChar(u'\0'));
  params_.clear();
}

void TDatabase::Open() {
  if (handle_) return;
  std::string alias;
  if (databaseName_.isEmpty() || !toAnsi(databaseName_, alias))
    throw EDatabaseError(QStringLiteral("The database name \"%1\" is not valid").arg(databaseName_));
  std::string params = AliasParameterString(params_);
  TSession::Instance().Open();
  // The parameters become a definition of the alias for this session only;
  // the engine merges them into the stored settings when it opens the alias.
  kbe::DBIResult result = Bde::DbiAddAlias(nullptr, alias.c_str(), nullptr, params.c_str(), 0);
  wipe(params);
  kbe::hDBIDb handle = nullptr;
  if (result == 0) result = Bde::DbiOpenDatabase(alias.c_str(), nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &handle);
  if (result != 0 || !handle) {
    EDBEngineError error = EngineError(result != 0 ? result : kUnknownDatabase);
    Bde::DbiDeleteAlias(nullptr, alias.c_str());
    throw error;
  }
  handle_ = handle;
}

void TDatabase::Close() {
  const std::vector<TDataSet*> dataSets = dataSets_;
  for (TDataSet* ds : dataSets) ds->Close();
  if (handle_) {
    Bde::DbiCloseDatabase(&handle_);
    handle_ = nullptr;
  }
}

