// The store's use of the Jet SQL translator: statements and criteria in Jet's
// dialect become SQLite statements, with names that resolve to no column taken
// as parameters.
#pragma once

#include "recordset.h"

namespace kh::store {

struct ParameterInfo {
  std::string name;
  std::int16_t type = 0;  // declared DAO type, 0 when undeclared
};

// A Jet statement ready to run.
struct PreparedJet {
  enum class Kind { Select, Action, Ddl };
  Kind kind = Kind::Select;
  std::string jet;                        // the text as given
  QueryPlan plan;                         // Select and Action: the SQLite text and select details
  std::vector<ParameterInfo> parameters;  // in the order of ?1..?n
  std::string intoTable;                  // SELECT ... INTO: the table to make
  std::shared_ptr<void> ddl;              // Ddl: the parsed definition
};

// Translates `jet`; names that resolve to no column become parameters.
PreparedJet translateJet(DbState& db, const std::string& jet);
// Runs an action or DDL statement with the parameter values given (in order);
// returns the number of records affected.
std::int32_t executeJet(DbState& db, const PreparedJet& statement, const std::vector<Variant>& values,
                        bool failOnError);
// Jet criteria (FindFirst, filters) as an SQLite expression; parameters are not allowed.
std::string jetCriteriaToSql(DbState& db, const std::string& criteria);
// Evaluates a constant Jet expression, such as a field's default value.
Variant evaluateJetExpression(DbState& db, const std::string& expression);

}  // namespace kh::store
