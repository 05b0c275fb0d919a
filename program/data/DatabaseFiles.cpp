// Program-wide operations on password database files.
#include "DatabaseFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CvDAO35.h"
#include "data/DataAccess.h"
#include "DataSetSupport.h"

namespace {

using kh::Variant;

// New files made while this lives are readable by their owner only (the
// store creates the database file and its journals itself).
class OwnerOnlyFiles {
 public:
  OwnerOnlyFiles() noexcept : previous_(::umask(077)) {}
  ~OwnerOnlyFiles() { ::umask(previous_); }
  OwnerOnlyFiles(const OwnerOnlyFiles&) = delete;
  OwnerOnlyFiles& operator=(const OwnerOnlyFiles&) = delete;

 private:
  mode_t previous_;
};

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

// The engine receives the master password in Windows-1252 inside a quoted
// parameter at each open: refuses one it could not hand back.
void checkEnginePassword(const QString& password) {
  std::string ansi;
  const keyhaven::data::WipeOnExit wipeAnsi(ansi);
  if (!keyhaven::data::toAnsi(password, ansi) || password.contains(QLatin1Char('"')))
    throw EDatabaseError(
        QStringLiteral("The master password may not contain a double quote or a character outside the Windows-1252 "
                       "character set"));
}

}  // namespace

void CreateDatabaseFile(const QString& path, const QString& password, bool samples) {
  using keyhaven::data::toAnsi;
  std::string unused;
  if (!toAnsi(path, unused))
    throw EDatabaseError(QStringLiteral("The database path holds a character outside the Windows-1252 character set"));
  checkEnginePassword(password);
  const std::string file = path.toStdString();  // the store takes UTF-8
  std::string locale = ";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=" + password.toStdString();
  const keyhaven::data::WipeOnExit wipeLocale(locale);
  const Variant& missing = DAOMissing();

  // 1. A private engine and its workspace 0; no file at the path.
  auto engine = std::make_unique<DAOLocalEngine>(true);
  auto ws = engine->GetWorkspaces()->GetItem(Variant(std::int32_t{0}));
  std::error_code ec;
  std::filesystem::remove(file, ec);

  // 2. The file.
  OwnerOnlyFiles ownerOnly;
  auto db = ws->CreateDatabase(file, locale, Variant(std::int32_t{6}));

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

// ---- copy file -------------------------------------------------------------

namespace {

// Closes a descriptor when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(int fd) noexcept : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  // Closes now; false when the close reported an error (a late write error).
  bool close() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

bool syncDirectoryOf(const QString& path) {
  FileHandle dir(::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY));
  return dir.valid() && ::fsync(dir.get()) == 0;
}

}  // namespace

QString CopyFile(const QString& source, const QString& target) {
  if (source == target) return QStringLiteral("Error - Source is same as Target");
  const QByteArray src = QFile::encodeName(source);
  const QByteArray dst = QFile::encodeName(target);
  struct stat info {};
  if (::stat(src.constData(), &info) != 0 || S_ISDIR(info.st_mode))
    return QStringLiteral("Error - Source File not found");
  if (!QFileInfo(QFileInfo(target).absolutePath()).isDir()) return QStringLiteral("Error - Target Directory not found");
  FileHandle in(::open(src.constData(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return QStringLiteral("Error - Source file is in use. It cannot be opened");
  // Created for the owner only; the source's permission bits follow at the end.
  FileHandle out(::open(dst.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.valid()) return QStringLiteral("Error - Target file is in use or is read-only. It cannot be overwritten");
  const QString copyFailed =
      QStringLiteral("Error - An Error occured while copying. Check available space on  target drive ");
  char buffer[1 << 16];
  qint64 total = 0;
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return copyFailed;
    if (n == 0) break;
    if (!writeAll(out.get(), buffer, n)) return copyFailed;
    total += n;
  }
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  ::futimens(out.get(), times);
  ::fchmod(out.get(), info.st_mode & 07777);
  if (::fsync(out.get()) != 0 || !out.close()) return copyFailed;
  return QString::number(total) + QStringLiteral(" bytes copied");
}

// ---- compaction -------------------------------------------------------------

QString CompactionTemporaryPath(const QString& path) {
  return QFileInfo(path).absolutePath() + QStringLiteral("/~f8njid.fee");
}

namespace {

// A digest of every row of the three tables of a password database: each row
// hashed from its values (type and text), the row hashes sorted so that the
// order the store hands rows out in does not matter. Reading every row also
// makes the store decrypt and authenticate every page those rows live on.
QByteArray contentDigest(const std::string& file, const std::string& password) {
  const Variant& missing = DAOMissing();
  auto engine = std::make_unique<DAOLocalEngine>(true);
  auto ws = engine->GetWorkspaces()->GetItem(Variant(std::int32_t{0}));
  std::string connect = ";PWD=" + password;
  const keyhaven::data::WipeOnExit wipeConnect(connect);
  auto db = ws->OpenDatabase(file, Variant::fromBool(false), Variant::fromBool(true), Variant(connect));
  QCryptographicHash all(QCryptographicHash::Sha256);
  for (const char* table : {"Options", "Groups", "Passwords"}) {
    auto rs = db->OpenRecordset(table, Variant(kTableRecordset), missing, missing);
    const int fields = rs->GetFields()->GetCount();
    std::vector<QByteArray> rows;
    while (!rs->GetEOF()) {
      QCryptographicHash row(QCryptographicHash::Sha256);
      for (std::int32_t i = 0; i < fields; ++i) {
        const Variant v = rs->GetCollect(Variant(i));
        const std::uint16_t type = v.type();
        row.addData(QByteArrayView(reinterpret_cast<const char*>(&type), sizeof type));
        const std::string text = v.isNull() ? std::string() : v.toString();
        row.addData(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
        row.addData(QByteArrayView("\0", 1));
      }
      rows.push_back(row.result());
      rs->MoveNext();
    }
    std::sort(rows.begin(), rows.end());
    all.addData(QByteArrayView(table));
    all.addData(QByteArray::number(static_cast<qulonglong>(rows.size())));
    for (const QByteArray& r : rows) all.addData(r);
  }
  db.reset();
  ws.reset();
  engine.reset();
  return all.result();
}

}  // namespace

QString CompactDatabaseFile(const QString& path, const QString& password) {
  const std::string file = path.toStdString();
  const QString temporaryPath = CompactionTemporaryPath(path);
  const std::string temporary = temporaryPath.toStdString();
  std::string pwd = password.toStdString();
  const keyhaven::data::WipeOnExit wipePwd(pwd);

  {
    auto engine = std::make_unique<DAOLocalEngine>(true);
    auto ws = engine->GetWorkspaces()->GetItem(Variant(std::int32_t{0}));
    engine->RepairDatabase(file);
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    std::string locale = ";pwd=" + pwd;
    const keyhaven::data::WipeOnExit wipeLocale(locale);
    OwnerOnlyFiles ownerOnly;
    engine->CompactDatabase(file, temporary, DAOMissing(), Variant(std::int32_t{6}), Variant(locale));
    ws.reset();
    engine.reset();
  }

  // The copy replaces the original only when it holds exactly what the
  // original holds.
  bool same = false;
  try {
    same = contentDigest(temporary, pwd) == contentDigest(file, pwd);
  } catch (const EDAOError&) {
    same = false;
  }
  if (!same) {
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    return QString::fromLatin1(kCompactionNotVerified);
  }

  // Durable before it takes the original's name, then the name change itself
  // made durable; the copy keeps the original's permission bits.
  const QByteArray src = QFile::encodeName(temporaryPath);
  const QByteArray dst = QFile::encodeName(path);
  {
    FileHandle copy(::open(src.constData(), O_RDONLY | O_CLOEXEC));
    struct stat original {};
    if (::stat(dst.constData(), &original) == 0) ::chmod(src.constData(), original.st_mode & 07777);
    if (!copy.valid() || ::fsync(copy.get()) != 0)
      return QStringLiteral("Error - An Error occured while copying. Check available space on  target drive ");
  }
  struct stat copied {};
  if (::stat(src.constData(), &copied) != 0) return QStringLiteral("Error - Source File not found");
  if (::rename(src.constData(), dst.constData()) != 0)
    return QStringLiteral("Error - Target file is in use or is read-only. It cannot be overwritten");
  syncDirectoryOf(path);
  return QString::number(static_cast<qint64>(copied.st_size)) + QStringLiteral(" bytes copied");
}

// ---- master password ----------------------------------------------------------

void ChangeDatabasePassword(TDatabase& db, const QString& oldPassword, const QString& newPassword) {
  if (!db.Connected()) throw EDatabaseError(QStringLiteral("The database is not open"));
  checkEnginePassword(newPassword);
  std::string oldText = oldPassword.toStdString();
  const keyhaven::data::WipeOnExit wipeOld(oldText);
  std::string newText = newPassword.toStdString();
  const keyhaven::data::WipeOnExit wipeNew(newText);
  static_cast<DAODatabase*>(db.Handle())->NewPassword(oldText, newText);
}
