// Queries: preparing, binding parameters, running, master-detail.
#include "Query.h"

#include "Database.h"
#include "DatabaseError.h"
#include <algorithm>
#include <cstring>

#include "DataSetSupport.h"
#include "binding/Bde.h"
#include "platform/ansi.h"

using namespace keyhaven::data;

// ---- queries -----------------------------------------------------------------------

TQuery::TQuery(TDatabase* database) : TDataSet(database) {}

TQuery::~TQuery() {
  // Closed here, while the statement can still be released.
  Close();
  ReleaseStatement();
  setDataSource(nullptr);
}

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

}  // namespace

void TQuery::setSQL(const QString& sql) {
  Close();
  ReleaseStatement();
  sql_ = sql;
  std::vector<TParam> previous = std::move(params_);
  params_.clear();
  markers_.clear();
  QString out;
  out.reserve(sql.size());
  auto paramIndex = [&](const QString& name) {
    for (std::size_t i = 0; i < params_.size(); ++i)
      if (!name.isEmpty() && params_[i].Name().compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    TParam param(name);
    for (const TParam& p : previous)
      if (!name.isEmpty() && p.Name().compare(name, Qt::CaseInsensitive) == 0) param = p;
    params_.push_back(param);
    return static_cast<int>(params_.size()) - 1;
  };
  const qsizetype n = sql.size();
  for (qsizetype i = 0; i < n;) {
    const QChar c = sql[i];
    // Quoted sections, as the engine reads them: '...', "...", #...#, [...];
    // the closing character followed by the opening one continues it.
    QChar close;
    if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('#'))
      close = c;
    else if (c == QLatin1Char('['))
      close = QLatin1Char(']');
    if (!close.isNull()) {
      qsizetype j = i + 1;
      for (;;) {
        while (j < n && sql[j] != close) ++j;
        if (j < n && j + 1 < n && sql[j + 1] == c) {
          j += 2;
          continue;
        }
        break;
      }
      const qsizetype end = std::min(j + 1, n);
      out += sql.mid(i, end - i);
      i = end;
      continue;
    }
    // A comment runs to the end of the line; the engine drops it.
    if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('/')) {
      qsizetype j = i;
      while (j < n && sql[j] != QLatin1Char('\r') && sql[j] != QLatin1Char('\n')) ++j;
      out += sql.mid(i, j - i);
      i = j;
      continue;
    }
    if (c == QLatin1Char(':')) {
      if (i + 1 < n && sql[i + 1] == QLatin1Char(':')) {  // "::" is a colon
        out += QLatin1Char(':');
        i += 2;
        continue;
      }
      if (i + 1 < n && isNameStart(sql[i + 1])) {
        qsizetype j = i + 1;
        while (j < n && isNameChar(sql[j])) ++j;
        markers_.push_back(paramIndex(sql.mid(i + 1, j - i - 1)));
        out += QLatin1Char('?');
        i = j;
        continue;
      }
    }
    if (c == QLatin1Char('?')) markers_.push_back(paramIndex(QString()));  // a marker of its own
    out += c;
    ++i;
  }
  engineSql_ = out;
}

TParam* TQuery::FindParam(const QString& name) {
  for (TParam& p : params_)
    if (p.Name().compare(name, Qt::CaseInsensitive) == 0) return &p;
  return nullptr;
}

TParam& TQuery::ParamByName(const QString& name) {
  if (TParam* p = FindParam(name)) return *p;
  throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

void TQuery::setRequestLive(bool live) {
  if (live == requestLive_) return;
  Close();
  ReleaseStatement();
  requestLive_ = live;
}

void TQuery::setDataSource(TDataSource* master) {
  if (master && master->DataSet() == this) throw EDatabaseError(QStringLiteral("A data set cannot be its own master"));
  if (master_) {
    auto& list = master_->details_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  master_ = master;
  lastMasterValues_.clear();
  lastMasterRun_ = -1;
  if (master) master->details_.push_back(this);
}

void TQuery::prepare() {
  if (statement_) return;
  if (!Database() || !Database()->Connected()) throw EDatabaseError(QStringLiteral("The database is not connected"));
  const std::string sql = ansiForField(engineSql_, QString(), "The SQL text");
  if (sql.find('\0') != std::string::npos) throw EDatabaseError(QStringLiteral("The SQL text holds a null character"));
  CheckEngine(Bde::DbiQAlloc(Database()->Handle(), 1, &statement_));
  try {
    CheckEngine(Bde::DbiSetProp(statement_, kPropLiveness, requestLive_ ? kLive : kCanned));
    CheckEngine(Bde::DbiQPrepare(statement_, sql.c_str()));
  } catch (...) {
    ReleaseStatement();
    throw;
  }
}

bool TQuery::takeMasterValues() {
  TDataSet* master = master_ ? master_->DataSet() : nullptr;
  if (!master || !master->Active()) return false;
  QVariantList values;
  for (TParam& p : params_) {
    if (p.Bound()) continue;
    if (const TField* field = master->FindField(p.Name())) {
      p.AssignField(*field);
      values << p.Value();
    }
  }
  const bool changed = values != lastMasterValues_ || master->runCount_ != lastMasterRun_;
  lastMasterValues_ = values;
  lastMasterRun_ = master->runCount_;
  return changed;
}

void TQuery::bindParams() {
  takeMasterValues();
  if (markers_.empty()) return;
  std::vector<kbe::FLDDesc> descs;
  std::vector<std::uint8_t> record;
  std::uint16_t offset = 2;  // a null offset of 0 would mean "no null word"
  for (std::size_t i = 0; i < markers_.size(); ++i) {
    const TParam& p = params_[static_cast<std::size_t>(markers_[i])];
    const QString label = p.Name().isEmpty() ? QString::number(i + 1) : p.Name();
    if (!p.assigned_) throw EDatabaseError(QStringLiteral("No value for parameter '%1'").arg(label));
    kbe::FLDDesc d{};
    d.iFldNum = static_cast<std::uint16_t>(i + 1);
    std::vector<std::uint8_t> value;
    auto bytesOf = [&](const auto& x) {
      value.resize(sizeof x);
      std::memcpy(value.data(), &x, sizeof x);
    };
    switch (p.IsNull() ? TFieldType::ftUnknown : p.DataType()) {
      case TFieldType::ftInteger:
      case TFieldType::ftSmallint:
        d.iFldType = fldINT32;
        bytesOf(static_cast<std::int32_t>(p.Value().toInt()));
        break;
      case TFieldType::ftBoolean:
        d.iFldType = fldBOOL;
        bytesOf(static_cast<std::int16_t>(p.Value().toBool() ? 1 : 0));
        break;
      case TFieldType::ftFloat:
      case TFieldType::ftCurrency:
        d.iFldType = fldFLOAT;
        bytesOf(p.Value().toDouble());
        break;
      case TFieldType::ftDateTime:
        d.iFldType = fldTIMESTAMP;
        bytesOf(DateTimeToTimestamp(p.Value().toDateTime()));
        break;
      case TFieldType::ftUnknown:  // null
        d.iFldType = fldZSTRING;
        value.assign(1, 0);
        break;
      default: {
        const std::string text = ansiForField(p.Value().toString(), label, "Parameter");
        if (text.find('\0') != std::string::npos || text.size() > 60000)
          throw EDatabaseError(QStringLiteral("Parameter '%1' cannot hold this text").arg(label));
        d.iFldType = fldZSTRING;
        value.assign(text.begin(), text.end());
        value.push_back(0);
        break;
      }
    }
    d.iNullOffset = offset;
    d.iOffset = static_cast<std::uint16_t>(offset + 2);
    d.iLen = static_cast<std::uint16_t>(value.size());
    record.resize(offset + 2u + value.size() + (value.size() & 1u), 0);
    const std::int16_t indicator = p.IsNull() ? -1 : 0;
    std::memcpy(record.data() + offset, &indicator, 2);
    std::memcpy(record.data() + offset + 2, value.data(), value.size());
    offset = static_cast<std::uint16_t>(record.size());
    descs.push_back(d);
  }
  CheckEngine(Bde::DbiQSetParams(statement_, static_cast<std::uint16_t>(descs.size()), descs.data(), record.data()));
}

kbe::hDBICur TQuery::OpenCursor() {
  prepare();
  try {
    bindParams();
    kbe::hDBICur cursor = nullptr;
    const kbe::DBIResult result = Bde::DbiQExec(statement_, &cursor);
    if (result != 0) throw EngineError(result);
    if (!cursor) throw EDatabaseError(QStringLiteral("The query returned no result set"));
    return cursor;
  } catch (...) {
    ReleaseStatement();
    throw;
  }
}

void TQuery::ReleaseStatement() noexcept {
  if (statement_) {
    Bde::DbiQFree(&statement_);
    statement_ = nullptr;
  }
}

void TQuery::ExecSQL() {
  if (Active()) throw EDatabaseError(QStringLiteral("Close the query before running it as a statement"));
  prepare();
  try {
    bindParams();
    CheckEngine(Bde::DbiQExec(statement_, nullptr));
    std::uint32_t rows = 0;
    std::uint16_t length = 0;
    rowsAffected_ =
        Bde::DbiGetProp(statement_, kPropRowsAffected, &rows, 4, &length) == 0 ? static_cast<int>(rows) : -1;
  } catch (...) {
    ReleaseStatement();
    throw;
  }
}

void TQuery::Refresh() { TDataSet::Refresh(); }

void TQuery::masterChanged(TDataEvent event) {
  if (!Active() || event == TDataEvent::deFieldChange) return;
  TDataSet* master = master_ ? master_->DataSet() : nullptr;
  if (!master || !master->Active()) return;
  if (!takeMasterValues()) return;
  CheckBrowseMode();
  Reexecute(nullptr, 0);
}

