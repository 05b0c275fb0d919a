#include "DataModule.h"

#include <QFileInfo>

#include "platform/ansi.h"
#include "platform/registry.h"

namespace {

constexpr const char* kAliasKey = "Software\\Corvane\\Keelbase\\Configuration\\Aliases\\kh";

// Opens (creating when missing) the alias key for reading and writing.
kh::win::HKEY openAliasKey() {
  kh::win::HKEY key = nullptr;
  kh::win::LONG rc = kh::win::RegCreateKeyExA(kh::win::HKEY_LOCAL_MACHINE, kAliasKey, 0, nullptr,
                                              kh::win::REG_OPTION_NON_VOLATILE,
                                              kh::win::KEY_READ | kh::win::KEY_WRITE, nullptr, &key, nullptr);
  return rc == kh::win::ERROR_SUCCESS ? key : nullptr;
}

void setString(kh::win::HKEY key, const char* name, const std::string& ansi) {
  kh::win::LONG rc = kh::win::RegSetValueExA(key, name, 0, kh::win::REG_SZ,
                                             reinterpret_cast<const kh::win::BYTE*>(ansi.c_str()),
                                             static_cast<kh::win::DWORD>(ansi.size() + 1));
  if (rc != kh::win::ERROR_SUCCESS)
    throw EDatabaseError(QStringLiteral("Could not store the current database in the registry (error %1).").arg(rc));
}

// Times of day are dropped, the calendar date kept.
void stripTime(TField& field) {
  if (field.IsNull()) return;
  QDateTime value = field.AsDateTime();
  QDateTime midnight(value.date(), QTime(0, 0));
  if (midnight != value) field.setAsDateTime(midnight);
}

}  // namespace

TDM::TDM(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("DM"));

  qryGroups.setSQL(QStringLiteral("select * from groups order by Name"));
  qryGroups.setRequestLive(true);
  qryPasswords.setSQL(QStringLiteral("select * from passwords where GroupId = :GroupId order by Description"));
  qryPasswords.setRequestLive(true);
  qryPasswords.setDisplayFormat(QStringLiteral("ExpireDate"), QStringLiteral("MM/dd/yyyy"));
  qryOptions.setSQL(QStringLiteral("select * from options"));
  qryOptions.setRequestLive(true);
  qryTemp.setRequestLive(true);
  qryTransfer.setSQL(QStringLiteral("select * from groups order by Name"));
  qryExpired.setSQL(QStringLiteral(
      "SELECT Groups.GroupID, Groups.Name, Passwords.PasswordID, Passwords.Description, Passwords.ExpireDate\r\n"
      "FROM Groups INNER JOIN Passwords ON Groups.GroupID = Passwords.GroupID\r\n"
      "WHERE (((Passwords.ExpireDate)<=Now()))\r\n"
      "ORDER BY Passwords.ExpireDate, Groups.Name,Passwords.Description;"));
  qryExpired.setDisplayFormat(QStringLiteral("ExpireDate"), QStringLiteral("MM/dd/yyyy"));

  DSGroups.setDataSet(&qryGroups);
  DSPasswords.setDataSet(&qryPasswords);
  DSOptions.setDataSet(&qryOptions);
  DSExpired.setDataSet(&qryExpired);
  DSFind.setDataSet(&qryFind);
  DSReportPasswords.setDataSet(&qryRptPasswords);

  // The accounts always hold the current group's records.
  qryPasswords.setDataSource(&DSGroups);

  qryPasswords.AfterInsert = [this](TDataSet&) { qryPasswordsAfterInsert(); };
  qryPasswords.BeforePost = [this](TDataSet&) { qryPasswordsBeforePost(); };
  connect(&DSPasswords, &TDataSource::dataChange, this, [this](TField*) { DSPasswordsDataChange(); });
  connect(&DSGroups, &TDataSource::dataChange, this, [this](TField*) { DSGroupsDataChange(); });
}

TDM::~TDM() { DB.Close(); }

void TDM::DMCreate(const QStringList& arguments) {
  if (!arguments.isEmpty() && !arguments.first().isEmpty()) StoreAliasPath(arguments.first());
}

QString TDM::ReadAliasPath() {
  kh::win::HKEY key = openAliasKey();
  if (!key) return {};
  char buffer[1024] = {};
  kh::win::DWORD type = 0;
  kh::win::DWORD size = sizeof buffer - 1;
  kh::win::LONG rc = kh::win::RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<kh::win::BYTE*>(buffer),
                                               &size);
  kh::win::RegCloseKey(key);
  if (rc != kh::win::ERROR_SUCCESS || type != kh::win::REG_SZ) return {};
  return QString::fromStdString(kh::ansiToUtf8(buffer));
}

void TDM::StoreAliasPath(const QString& path) {
  std::string ansi;
  std::size_t bad = 0;
  if (!kh::utf8ToAnsi(path.toStdString(), ansi, &bad))
    throw EDatabaseError(
        QStringLiteral("The path \"%1\" holds characters this program cannot store (Windows-1252 only).").arg(path));
  kh::win::HKEY key = openAliasKey();
  if (!key) throw EDatabaseError(QStringLiteral("Could not open the registry key of the current database."));
  try {
    setString(key, "Path", ansi);
    setString(key, "Exclusive", "True");
  } catch (...) {
    kh::win::RegCloseKey(key);
    throw;
  }
  kh::win::RegCloseKey(key);
}

bool TDM::CurrentFileExists() {
  QString path = ReadAliasPath();
  return !path.isEmpty() && QFileInfo(path).isFile();
}

QString TDM::DisplayName(const QString& path) {
  QString name = QFileInfo(path).fileName();
  return name.left(std::max<qsizetype>(0, name.size() - 4));
}

int TDM::DropDownRows(int groups) { return std::clamp(groups, 1, 10); }

void TDM::qryPasswordsAfterInsert() {
  qryPasswords.FieldByName(QStringLiteral("GroupID")).setAsInteger(qryGroups.FieldByName(QStringLiteral("GroupID")).AsInteger());
}

void TDM::qryPasswordsBeforePost() {
  stripTime(qryPasswords.FieldByName(QStringLiteral("ExpireDate")));
  stripTime(qryPasswords.FieldByName(QStringLiteral("AssignDate")));
}

void TDM::StoreSelectedGroup(const QString& name) {
  qryOptions.Edit();
  qryOptions.FieldByName(QStringLiteral("Group")).setAsString(name);
  qryOptions.Post();
}

void TDM::DSPasswordsDataChange() {
  emit passwordsEditStateChanged(qryPasswords.State() == TDataSetState::dsEdit);
  TField* description = qryPasswords.Active() ? qryPasswords.FindField(QStringLiteral("Description")) : nullptr;
  emit accountDetailsEnabledChanged(description && !description->IsNull());
}

void TDM::DSGroupsDataChange() {
  emit refreshItemCount();
  if (qryGroups.Active()) emit groupDropDownRowsChanged(DropDownRows(qryGroups.RecordCount()));
}
