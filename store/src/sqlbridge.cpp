// Temporary pass-through until the Jet translator lands.
#include "sqlbridge.h"

namespace kh::store {

PreparedJet translateJet(DbState& db, const std::string& jet) {
  PreparedJet p;
  p.jet = jet;
  p.spec.sql = jet;
  std::string lower;
  for (char c : jet) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.rfind("select", 0) == 0) {
    p.kind = PreparedJet::Kind::Select;
  } else {
    p.kind = PreparedJet::Kind::Action;
  }
  (void)db;
  return p;
}

std::int32_t executeJet(DbState& db, const PreparedJet& statement, const std::vector<Variant>& values, bool) {
  Statement s(db.handle(), statement.spec.sql);
  for (std::size_t i = 0; i < values.size(); ++i) s.bind(static_cast<int>(i + 1), values[i]);
  s.run();
  return sqlite3_changes(db.handle());
}

std::string jetCriteriaToSql(DbState&, const std::string& criteria) { return criteria; }

Variant evaluateJetExpression(DbState& db, const std::string& expression) {
  Statement s(db.handle(), "SELECT " + expression);
  if (!s.step()) return Variant::null();
  return readColumn(s.get(), 0, 0);
}

}  // namespace kh::store
