// Program-wide operations on password database files.
#include "DatabaseFiles.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CvDAO35.h"
#include "data/DataAccess.h"
#include "DataSetSupport.h"

namespace {

using kh::Variant;

constexpr std::int32_t kBoolean = 1, kLong = 4, kDate = 8, kText = 10, kMemo = 12;
constexpr std::int32_t kAutoIncrement = 16;
constexpr std::int32_t kTableRecordset = 1;
constexpr std::int32_t kCascadeUpdateAndDelete = 4352;  // 256 + 4096

struct FieldDef {
  const char* name;
  std::int32_t type;
  std::int32_t size;        // 0: the type's own
  std::int32_t attributes;  // 0: none set
  bool allowZeroLength;
};

void appendFields(DAOTableDef& table, const std::vector<FieldDef>& defs) {
  const Variant& missing = DAOMissing();
  std::vector<std::unique_ptr<DAOField>> fields;
  for (const FieldDef& s : defs) {
    auto f = table.CreateField(Variant(s.name), Variant(s.type), missing);
    if (s.attributes) f->SetAttributes(s.attributes);
    if (s.size) f->SetSize(s.size);
    if (s.allowZeroLength) f->SetAllowZeroLength(kh::VARIANT_TRUE);
    fields.push_back(std::move(f));
  }
  for (auto& f : fields) table.GetFields()->Append(*f);
}

struct IndexDef {
  const char* name;
  bool primary;
  std::vector<const char*> fields;
};

}  // namespace

void CreateDatabaseFile(const QString& path, const QString& password, bool samples) {
  using keyhaven::data::toAnsi;
  std::string unused;
  if (!toAnsi(path, unused))
    throw EDatabaseError(QStringLiteral("The database path holds a character outside the Windows-1252 character set"));
  if (!toAnsi(password, unused) || password.contains(QLatin1Char('"')))
    throw EDatabaseError(
        QStringLiteral("The master password may not contain a double quote or a character outside the Windows-1252 "
                       "character set"));
  keyhaven::data::wipe(unused);
  const std::string file = path.toStdString();  // the store takes UTF-8
  std::string locale = ";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=" + password.toStdString();
  const Variant& missing = DAOMissing();

  // 1. A private engine and its workspace 0; no file at the path.
  auto engine = std::make_unique<DAOLocalEngine>(true);
  auto ws = engine->GetWorkspaces()->GetItem(Variant(std::int32_t{0}));
  std::error_code ec;
  std::filesystem::remove(file, ec);

  // 2. The file.
  auto db = ws->CreateDatabase(file, locale, Variant(std::int32_t{6}));
  keyhaven::data::wipe(locale);

  // 3. Options.
  auto options = db->CreateTableDef(Variant("Options"), missing, missing, missing);
  appendFields(*options, {{"Group", kText, 50, 0, false},
                          {"style", kText, 12, 0, false},
                          {"pwdsystray", kBoolean, 0, 0, false},
                          {"DBMaintCount", kLong, 0, 0, false},
                          {"DBMaintFreq", kLong, 0, 0, false},
                          {"showpassword", kLong, 0, 0, false},
                          {"promptpassword", kBoolean, 0, 0, false}});
  db->GetTableDefs()->Append(*options);

  // 4. Groups, with its primary index made without a name and named afterwards.
  auto groups = db->CreateTableDef(Variant("Groups"), missing, missing, missing);
  appendFields(*groups, {{"GroupID", kLong, 0, kAutoIncrement, false}, {"Name", kText, 50, 0, false}});
  {
    auto index = groups->CreateIndex(missing);
    index->SetName("Groups");
    index->SetPrimary(kh::VARIANT_TRUE);
    index->SetUnique(kh::VARIANT_TRUE);
    auto field = index->CreateField(Variant("GroupID"), missing, missing);
    index->GetFields()->Append(*field);
    groups->GetIndexes()->Append(*index);
  }
  db->GetTableDefs()->Append(*groups);

  // 5. Passwords and its three indexes.
  auto passwords = db->CreateTableDef(Variant("Passwords"), missing, missing, missing);
  appendFields(*passwords, {{"GroupID", kLong, 0, 0, false},
                            {"PasswordID", kLong, 0, kAutoIncrement, false},
                            {"Description", kText, 100, 0, false},
                            {"ID", kText, 100, 0, true},
                            {"Password", kText, 100, 0, true},
                            {"ExpireDate", kDate, 0, 0, false},
                            {"AssignDate", kDate, 0, 0, false},
                            {"URL", kText, 100, 0, true},
                            {"KeySequence", kText, 100, 0, true},
                            {"ShowAccount", kBoolean, 0, 0, false},
                            {"Notes", kMemo, 0, 0, true}});
  {
    std::vector<std::unique_ptr<DAOIndex>> indexes;
    for (const IndexDef& def :
         {IndexDef{"PrimaryKey", true, {"GroupID", "PasswordID"}}, IndexDef{"GroupKey", false, {"GroupID"}},
          IndexDef{"PasswordKey", false, {"PasswordID"}}}) {
      auto index = passwords->CreateIndex(Variant(def.name));
      index->SetPrimary(def.primary ? kh::VARIANT_TRUE : kh::VARIANT_FALSE);
      index->SetRequired(kh::VARIANT_TRUE);
      if (def.primary) index->SetIgnoreNulls(kh::VARIANT_FALSE);
      for (const char* name : def.fields) {
        auto field = index->CreateField(Variant(name), missing, missing);
        index->GetFields()->Append(*field);
      }
      indexes.push_back(std::move(index));
    }
    for (auto& index : indexes) passwords->GetIndexes()->Append(*index);
  }
  db->GetTableDefs()->Append(*passwords);

  // 6. The relation between them: deleting a group deletes its accounts.
  {
    auto relation = db->CreateRelation(Variant("GroupsPassword"), Variant(groups->GetName()),
                                       Variant(passwords->GetName()), Variant(kCascadeUpdateAndDelete));
    auto field = relation->CreateField(Variant("GroupID"), missing, missing);
    field->SetForeignName("GroupID");
    relation->GetFields()->Append(*field);
    db->GetRelations()->Append(*relation);
  }

  // 7. The options row.
  {
    auto rs = db->OpenRecordset("Options", Variant(kTableRecordset), missing, missing);
    rs->AddNew();
    rs->SetCollect(Variant("pwdsystray"), Variant::fromBool(true));
    rs->SetCollect(Variant("style"), Variant("None"));
    rs->SetCollect(Variant("dbMaintCount"), Variant(std::int32_t{100}));
    rs->SetCollect(Variant("dbMaintFreq"), Variant(std::int32_t{100}));
    rs->SetCollect(Variant("showpassword"), Variant(std::int32_t{1}));
    rs->SetCollect(Variant("promptpassword"), Variant::fromBool(true));
    rs->Update(1, 0);
  }

  // 8. The sample groups, the first of them selected.
  if (samples) {
    {
      auto rs = db->OpenRecordset("Groups", Variant(kTableRecordset), missing, missing);
      for (const char* name : {"Email Accounts", "Web Discussion Boards", "Misc Accounts", "Web Subscriptions"}) {
        rs->AddNew();
        rs->SetCollect(Variant("name"), Variant(name));
        rs->Update(1, 0);
      }
    }
    auto rs = db->OpenRecordset("Options", Variant(kTableRecordset), missing, missing);
    rs->Edit();
    rs->SetCollect(Variant("Group"), Variant("Email Accounts"));
    rs->Update(1, 0);
  }

  // 9. Every wrapper goes, the database before its workspace and engine
  // (which closes the file).
  passwords.reset();
  groups.reset();
  options.reset();
  db.reset();
  ws.reset();
  engine.reset();
}
