// SQL statements: allocation, preparation with parameter markers, parameter
// binding, execution into cursors or as action queries, stored queries as
// procedures, and the statement properties.
#include "KBEPI32_Query.h"

#include <cstring>
#include <memory>
#include <vector>

#include "KBEPI32_Conversions.h"
#include "KBEPI32_CursorData.h"
#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"
#include "kbe/kbe.h"

namespace kbe::stmt {

namespace {

// Statement properties.
constexpr std::uint32_t kPropLanguageDriver = 0x00060004;
constexpr std::uint32_t kPropUnidirectional = 0x00060010;
constexpr std::uint32_t kPropRowsAffected = 0x00060014;
constexpr std::uint32_t kPropLiveness = 0x00060021;

// QueryDef.Execute options: fail on error, and see changes.
constexpr std::int32_t kExecFailOnError = 128;
constexpr std::int32_t kExecSeeChanges = 512;

// Lock types of OpenRecordset.
constexpr std::int32_t kLockPessimistic = 2;
constexpr std::int32_t kLockOptimistic = 3;

// The closing character of a quoted section opened by `c`, or 0.
char closingOf(char c) noexcept {
  switch (c) {
    case '"': return '"';
    case '#': return '#';
    case '\'': return '\'';
    case '[': return ']';
    default: return 0;
  }
}

// Jet matches names without regard to (ASCII) letter case.
bool sameName(const std::string& a, const std::string& b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The zero-terminated text of a fixed-size name field (at most `size` bytes).
std::string fixedName(const char* name, std::size_t size) {
  std::size_t n = 0;
  while (n < size && name[n]) ++n;
  return std::string(name, n);
}

// The database a statement belongs to, when it is still open.
DAODatabase* databaseOf(DAOQueryDef& statement) noexcept {
  return databaseFromHandle(statement.ParentWrapper());
}

// A statement's record, remembering the text it was last prepared with.
class TStatementData final : public TQueryData {
 public:
  using TQueryData::TQueryData;
  std::string preparedSql;  // as rewritten for Jet (ANSI)
};

// Gives a statement a new record with the same settings and no result
// descriptors; cursors still open on the old record keep it (they hold
// references) until they close. Returns the new record.
TQueryData& renewRecord(DAOQueryDef& statement, TQueryData& old) {
  auto fresh = std::make_unique<TStatementData>(old.options);
  fresh->procParamBuffer = old.procParamBuffer;
  fresh->openCursorCount = old.openCursorCount;
  fresh->markerCount = old.markerCount;
  fresh->recordsetType = old.recordsetType;
  fresh->recordsetOptions = old.recordsetOptions;
  fresh->storedQuery = old.storedQuery;
  TQueryData& renewed = *fresh;
  statement.TakeUserData().release();  // `old` is reference counted
  statement.SetUserData(std::move(fresh));
  old.release();
  return renewed;
}

// Hands out a statement: attaches its record and registers the handle.
hDBIStmt giveOut(std::unique_ptr<DAOQueryDef> statement, std::unique_ptr<TQueryData> data) {
  statement->SetUserData(std::move(data));
  registerHandle(statement.get(), HandleKind::Statement);
  return statement.release();
}

// The database open options of a database (the defaults when it has no record).
TDatabaseOptions optionsOf(const DAODatabase* db) noexcept {
  const TDatabaseData* data = databaseDataOf(db);
  return data ? data->options : TDatabaseOptions{};
}

// One parameter value to bind, taken from a BDE descriptor.
struct ParamBinding {
  std::uint16_t number;  // iFldNum / uParamNum
  std::string name;      // szName (ANSI)
  std::uint16_t fldType;
  std::uint16_t subType;
  std::uint16_t offset;
  std::uint16_t length;
  std::uint16_t nullOffset;
};

// The value a descriptor gives its parameter.
kh::Variant bindingValue(const ParamBinding& b, const std::uint8_t* record) {
  if (b.nullOffset != 0) {
    std::int16_t indicator = 0;
    std::memcpy(&indicator, record + b.nullOffset, sizeof indicator);
    if (indicator == -1) return kh::Variant::null();
  }
  const std::int16_t daoType = conv::bdeToDaoType(b.fldType, b.subType);
  if (daoType == 0) return kh::Variant::null();
  kh::Variant v = conv::slotIntoValue(daoType, conv::kPresent, true, b.length, record + b.offset);
  // Memo and long binary slots make no value of their own: the parameter is Null.
  if (v.isEmpty()) return kh::Variant::null();
  return v;
}

// A parameter still waiting for its value.
bool hasNoValue(DAOParameter& p) {
  const kh::Variant v = p.GetValue();
  return v.isEmpty() || v.isNull();
}

// Binds descriptors to the statement's parameters. With `byPosition` a number
// from 1 selects the parameter at that place in the collection (procedures);
// otherwise numbers up to the marker count select "Par_<n>" and larger ones
// the next parameter that has no value yet. Number 0 selects by name. A
// parameter that cannot be found is skipped.
void bindParameters(DAOQueryDef& statement, const TQueryData& data, const std::vector<ParamBinding>& bindings,
                    const std::uint8_t* record, bool byPosition) {
  if (bindings.empty()) return;
  DAOParameters* collection = statement.GetParameters();
  const std::int16_t count = collection->GetCount();
  std::vector<std::unique_ptr<DAOParameter>> params;
  std::vector<std::string> names;  // ANSI
  for (std::int16_t i = 0; i < count; ++i) {
    params.push_back(collection->GetItem(kh::Variant(static_cast<std::int32_t>(i))));
    names.push_back(conv::ansiOf(params.back()->GetName()));
  }
  auto byName = [&](const std::string& name) -> DAOParameter* {
    for (std::size_t i = 0; i < params.size(); ++i)
      if (sameName(names[i], name)) return params[i].get();
    return nullptr;
  };

  std::size_t scanFrom = 0;  // where the search for a parameter without a value goes on
  for (const ParamBinding& b : bindings) {
    DAOParameter* target = nullptr;
    if (b.number == 0) {
      target = byName(b.name);
    } else if (byPosition) {
      if (b.number <= params.size()) target = params[b.number - 1u].get();
    } else if (static_cast<std::int32_t>(b.number) <= data.markerCount) {
      target = byName("Par_" + std::to_string(b.number));
    } else {
      for (; scanFrom < params.size(); ++scanFrom) {
        if (hasNoValue(*params[scanFrom])) {
          target = params[scanFrom++].get();
          break;
        }
      }
    }
    if (!target) continue;
    target->SetValue(bindingValue(b, record));
  }
}

// Runs `work` on a live statement; anything else gives 0x3001.
template <class F>
DBIResult onStatement(hDBIStmt handle, F&& work) noexcept {
  return trap([&]() -> DBIResult {
    DAOQueryDef* statement = statementFromHandle(handle);
    TQueryData* data = queryDataOf(statement);
    if (!data) return rc::NotSupported;
    return work(*statement, *data);
  });
}

}  // namespace

std::string rewriteMarkers(const std::string& sql, std::int32_t& markers) {
  markers = 0;
  std::string out;
  out.reserve(sql.size() + 16);
  const std::size_t n = sql.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = sql[i];
    if (const char close = closingOf(c)) {
      // A quoted section, copied unchanged; a closing character followed by
      // the opening one continues it.
      out += c;
      ++i;
      while (i < n) {
        const char d = sql[i++];
        out += d;
        if (d != close) continue;
        if (i < n && sql[i] == c) {
          out += sql[i++];
          continue;
        }
        break;
      }
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '/') {
      // A comment, up to the end of its line.
      while (i < n && sql[i] != '\r' && sql[i] != '\n') ++i;
    } else if (c == '?') {
      ++markers;
      out += "Par_" + std::to_string(markers);
      ++i;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

DAOQueryDef* statementFromHandle(void* handle) noexcept { return handleAs<DAOQueryDef>(handle, HandleKind::Statement); }

TQueryData* queryDataOf(const DAOQueryDef* statement) noexcept {
  return statement ? dynamic_cast<TQueryData*>(statement->UserData()) : nullptr;
}

DBIResult getProp(void* handle, std::uint32_t property, void* value, std::int16_t size,
                  std::uint16_t* length) noexcept {
  return onStatement(handle, [&](DAOQueryDef& statement, TQueryData& data) -> DBIResult {
    auto put32 = [&](std::uint32_t number) -> DBIResult {
      if (value && size >= 4) {
        std::memcpy(value, &number, 4);
        if (length) *length = 4;
      }
      return rc::OK;
    };
    switch (property) {
      case kPropLanguageDriver: {
        if (!value) return rc::OK;
        const std::string text = "KBE Ansi";
        std::size_t n = 0;
        if (size >= 1) {
          n = std::min(text.size(), static_cast<std::size_t>(size - 1));
          std::memcpy(value, text.data(), n);
          static_cast<char*>(value)[n] = '\0';
        }
        if (length) *length = static_cast<std::uint16_t>(n);
        return rc::OK;
      }
      case kPropUnidirectional: return put32(data.recordsetType == daors::ForwardOnly ? 1 : 0);
      case kPropRowsAffected:
        if (!value) return rc::OK;
        return put32(static_cast<std::uint32_t>(statement.GetRecordsAffected()));
      case kPropLiveness: return put32((data.recordsetOptions & daors::ReadOnly) ? 2 : 1);
      default: return rc::NotSupported;
    }
  });
}

DBIResult setProp(void* handle, std::uint32_t property, std::uintptr_t value) noexcept {
  return onStatement(handle, [&](DAOQueryDef&, TQueryData& data) -> DBIResult {
    switch (property) {
      case kPropUnidirectional:
        if (value == 1) {
          data.recordsetType = daors::ForwardOnly;
          data.recordsetOptions &= ~daors::SeeChanges;
        } else {
          data.recordsetType = daors::Dynaset;
          if (data.options.seeChanges) data.recordsetOptions |= daors::SeeChanges;
        }
        return rc::OK;
      case kPropLiveness:
        if (value == 1) {
          data.recordsetOptions &= ~daors::ReadOnly;
        } else if (value == 2) {
          data.recordsetOptions |= daors::ReadOnly;
        } else {
          return rc::NotSupported;
        }
        return rc::OK;
      default: return rc::NotSupported;
    }
  });
}

}  // namespace kbe::stmt

using namespace kbe;
using kbe::stmt::onStatement;

// ---- exports ---------------------------------------------------------------------------------

KBE_API DBIResult DbiQAlloc(hDBIDb db, std::uint32_t, hDBIStmt* statement) {
  if (statement) *statement = nullptr;
  return trap([&]() -> DBIResult {
    DAODatabase* database = databaseFromHandle(db);
    if (!database) return rc::NotSupported;
    if (!statement) return rc::InvalidParam;
    // A temporary query definition: no name, no SQL, not stored in the database.
    std::unique_ptr<DAOQueryDef> q = database->CreateQueryDef(DAOMissing(), DAOMissing());
    auto data = std::make_unique<stmt::TStatementData>(stmt::optionsOf(database));
    data->recordsetType = daors::Dynaset;
    data->recordsetOptions = 0;
    *statement = stmt::giveOut(std::move(q), std::move(data));
    return rc::OK;
  });
}

KBE_API DBIResult DbiQPrepare(hDBIStmt statement, const char* sql) {
  return onStatement(statement, [&](DAOQueryDef& q, TQueryData& data) -> DBIResult {
    if (!sql) return rc::InvalidParam;
    std::int32_t markers = 0;
    data.markerCount = 0;
    const std::string text = stmt::rewriteMarkers(sql, markers);
    // Descriptors of an earlier execution describe the earlier text: another
    // text gets its own once it runs.
    auto* prepared = dynamic_cast<stmt::TStatementData*>(&data);
    TQueryData& current = data.info && (!prepared || prepared->preparedSql != text) ? stmt::renewRecord(q, data) : data;
    current.markerCount = markers;
    if (auto* s = dynamic_cast<stmt::TStatementData*>(&current)) s->preparedSql = text;
    q.SetSQL(conv::utf8Of(text));
    return rc::OK;
  });
}

KBE_API DBIResult DbiQSetParams(hDBIStmt statement, std::uint16_t count, const FLDDesc* descs,
                                const std::uint8_t* record) {
  return onStatement(statement, [&](DAOQueryDef& q, TQueryData& data) -> DBIResult {
    if (count == 0) return rc::OK;
    if (!descs || !record) return rc::InvalidParam;
    std::vector<stmt::ParamBinding> bindings;
    for (std::uint16_t i = 0; i < count; ++i) {
      const FLDDesc& d = descs[i];
      bindings.push_back({d.iFldNum, stmt::fixedName(d.szName, sizeof d.szName), d.iFldType, d.iSubType, d.iOffset,
                          d.iLen, d.iNullOffset});
    }
    stmt::bindParameters(q, data, bindings, record, false);
    return rc::OK;
  });
}

KBE_API DBIResult DbiQSetProcParams(hDBIStmt statement, std::uint16_t count, const SPParamDesc* descs,
                                    const std::uint8_t* record) {
  return onStatement(statement, [&](DAOQueryDef& q, TQueryData& data) -> DBIResult {
    if (count == 0) return rc::OK;
    if (!descs || !record) return rc::InvalidParam;
    std::vector<stmt::ParamBinding> bindings;
    for (std::uint16_t i = 0; i < count; ++i) {
      const SPParamDesc& d = descs[i];
      bindings.push_back({d.uParamNum, stmt::fixedName(d.szName, sizeof d.szName), d.uFldType, d.uSubType,
                          d.uOffset, d.uLen, d.uNullOffset});
    }
    stmt::bindParameters(q, data, bindings, record, true);
    return rc::OK;
  });
}

KBE_API DBIResult DbiQExec(hDBIStmt statement, hDBICur* cursor) {
  if (cursor) *cursor = nullptr;
  return onStatement(statement, [&](DAOQueryDef& q, TQueryData& data) -> DBIResult {
    // The database of the statement has been closed: its wrappers are gone.
    DAODatabase* database = stmt::databaseOf(q);
    if (!database) return rc::InvalidHandle;
    if (!cursor) {
      // An action query.
      q.Execute(kh::Variant(data.options.seeChanges ? stmt::kExecFailOnError | stmt::kExecSeeChanges
                                                    : stmt::kExecFailOnError));
      return rc::OK;
    }
    const bool readOnly = (data.recordsetOptions & daors::ReadOnly) != 0;
    const kh::Variant lock = data.storedQuery || readOnly
                                 ? DAOMissing()
                                 : kh::Variant(data.options.lockEdits ? stmt::kLockPessimistic : stmt::kLockOptimistic);
    std::unique_ptr<DAORecordset> rs =
        q.OpenRecordset(kh::Variant(data.recordsetType), kh::Variant(data.recordsetOptions), lock);
    TCursorSpec setup;
    setup.definition = &data;
    setup.options = data.options;
    setup.database = database;
    setup.statement = &q;
    setup.forwardOnly = data.recordsetType == daors::ForwardOnly;
    DAORecordset* handle = makeCursor(std::move(rs), std::move(setup));
    ++data.openCursorCount;
    *cursor = handle;
    return rc::OK;
  });
}

KBE_API DBIResult DbiQFree(hDBIStmt* statement) {
  if (!statement) return rc::NotSupported;
  return onStatement(*statement, [&](DAOQueryDef& q, TQueryData& data) -> DBIResult {
    if (data.openCursorCount > 0) {
      // A cursor of this statement is still open: its close frees it.
      --data.openCursorCount;
    } else {
      destroyStatement(&q);
    }
    *statement = nullptr;
    return rc::OK;
  });
}

KBE_API DBIResult DbiQExecDirect(hDBIDb db, std::uint32_t queryLanguage, const char* sql, hDBICur* cursor) {
  if (cursor) *cursor = nullptr;
  hDBIStmt statement = nullptr;
  DBIResult result = DbiQAlloc(db, queryLanguage, &statement);
  if (result != rc::OK) return result;
  result = DbiQPrepare(statement, sql);
  if (result == rc::OK) result = DbiQExec(statement, cursor);
  // A returned cursor keeps the statement alive until it closes.
  DbiQFree(&statement);
  return result;
}

KBE_API DBIResult DbiQPrepareProc(hDBIDb db, const char* procName, std::uint16_t, const SPParamDesc*, void* record,
                                  hDBIStmt* statement) {
  if (statement) *statement = nullptr;
  return trap([&]() -> DBIResult {
    DAODatabase* database = databaseFromHandle(db);
    if (!database) return rc::NotSupported;
    if (!statement) return rc::InvalidParam;
    std::unique_ptr<DAOQueryDef> stored;
    try {
      stored = database->GetQueryDefs()->GetItem(kh::Variant(conv::utf8Of(procName ? procName : "")));
    } catch (...) {
      convertCurrentFailure();
      return rc::NoSuchTable;
    }
    // The statement's wrapper hangs directly on the database, as a temporary
    // one does, so it does not depend on the collection wrapper.
    auto q = std::make_unique<DAOQueryDef>(database, stored->Intf());
    stored.reset();
    auto data = std::make_unique<stmt::TStatementData>(stmt::optionsOf(database));
    data->procParamBuffer = record;
    data->storedQuery = 1;
    data->recordsetType = daors::Dynaset;
    *statement = stmt::giveOut(std::move(q), std::move(data));
    return rc::OK;
  });
}

KBE_API DBIResult DbiQExecProcDirect(hDBIDb db, const char* procName, std::uint16_t count, const SPParamDesc* descs,
                                     const std::uint8_t* record, hDBICur* cursor) {
  if (cursor) *cursor = nullptr;
  hDBIStmt statement = nullptr;
  DBIResult result = DbiQPrepareProc(db, procName, count, descs, const_cast<std::uint8_t*>(record), &statement);
  if (result != rc::OK) return result;
  result = DbiQSetProcParams(statement, count, descs, record);
  if (result == rc::OK) result = DbiQExec(statement, cursor);
  DbiQFree(&statement);
  return result;
}
