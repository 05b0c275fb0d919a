// Translation of Jet SQL into SQLite SQL: the printed text, the reported
// structures and the DAO errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../src/jetsql.h"

namespace kh::store::jet {
namespace {

NameSet names(std::initializer_list<const char*> list) {
  NameSet s;
  for (const char* n : list) s.insert(n);
  return s;
}

struct SqlCase {
  const char* jet;
  std::initializer_list<const char*> params;
  const char* sqlite;
};

// The program's own statements, verbatim (the engine has already turned each "?"
// into Par_n), then every dialect feature.
const SqlCase kStatements[] = {
    {"select * from groups order by Name", {}, "SELECT * FROM [groups] ORDER BY [Name]"},
    {"select * from passwords where GroupId = Par_1 order by Description",
     {"Par_1"},
     "SELECT * FROM [passwords] WHERE [GroupId] = ?1 ORDER BY [Description]"},
    {"select * from options", {}, "SELECT * FROM [options]"},
    {"Select Name from Groups where Name = \"x\"", {}, "SELECT [Name] FROM [Groups] WHERE [Name] = 'x'"},
    {"SELECT Groups.GroupID, Passwords.PasswordID,Groups.Name, Passwords.Description, Passwords.ID, "
     "Passwords.Password, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
     "Passwords.GroupID WHERE (Groups.Name Like \"*T*\");",
     {},
     "SELECT [Groups].[GroupID], [Passwords].[PasswordID], [Groups].[Name], [Passwords].[Description], "
     "[Passwords].[ID], [Passwords].[Password], [Passwords].[URL], [Passwords].[Notes] FROM [Groups] INNER JOIN "
     "[Passwords] ON [Groups].[GroupID] = [Passwords].[GroupID] WHERE [Groups].[Name] LIKE '*T*'"},
    {"SELECT Groups.GroupID, Passwords.PasswordID,Groups.Name, Passwords.Description, Passwords.ID, "
     "Passwords.Password, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
     "Passwords.GroupID WHERE (((Groups.Name) Like \"*T*\")) OR (((Passwords.Description) Like \"*T*\")) OR "
     "(((Passwords.Password) Like \"*T*\")) OR (((Passwords.ID) Like \"*T*\")) OR (((Passwords.URL) Like \"*T*\")) "
     "OR(((Passwords.Notes) Like \"*T*\"));",
     {},
     "SELECT [Groups].[GroupID], [Passwords].[PasswordID], [Groups].[Name], [Passwords].[Description], "
     "[Passwords].[ID], [Passwords].[Password], [Passwords].[URL], [Passwords].[Notes] FROM [Groups] INNER JOIN "
     "[Passwords] ON [Groups].[GroupID] = [Passwords].[GroupID] WHERE [Groups].[Name] LIKE '*T*' OR "
     "[Passwords].[Description] LIKE '*T*' OR [Passwords].[Password] LIKE '*T*' OR [Passwords].[ID] LIKE '*T*' OR "
     "[Passwords].[URL] LIKE '*T*' OR [Passwords].[Notes] LIKE '*T*'"},
    {"SELECT Groups.GroupID, Groups.Name, Passwords.PasswordID, Passwords.Description, Passwords.ExpireDate\r\n"
     "FROM Groups INNER JOIN Passwords ON Groups.GroupID = Passwords.GroupID\r\n"
     "WHERE (((Passwords.ExpireDate)<=Now()))\r\n"
     "ORDER BY Passwords.ExpireDate, Groups.Name,Passwords.Description;",
     {},
     "SELECT [Groups].[GroupID], [Groups].[Name], [Passwords].[PasswordID], [Passwords].[Description], "
     "[Passwords].[ExpireDate] FROM [Groups] INNER JOIN [Passwords] ON [Groups].[GroupID] = [Passwords].[GroupID] "
     "WHERE [Passwords].[ExpireDate] <= kh_now() ORDER BY [Passwords].[ExpireDate], [Groups].[Name], "
     "[Passwords].[Description]"},
    {"SELECT Groups.Name, Passwords.Description, Passwords.ID, Passwords.Password, Passwords.ExpireDate, "
     "Passwords.AssignDate, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
     "Passwords.GroupID WHERE Passwords.GroupID = 7 ORDER BY Groups.Name,Passwords.Description",
     {},
     "SELECT [Groups].[Name], [Passwords].[Description], [Passwords].[ID], [Passwords].[Password], "
     "[Passwords].[ExpireDate], [Passwords].[AssignDate], [Passwords].[URL], [Passwords].[Notes] FROM [Groups] "
     "INNER JOIN [Passwords] ON [Groups].[GroupID] = [Passwords].[GroupID] WHERE [Passwords].[GroupID] = 7 ORDER BY "
     "[Groups].[Name], [Passwords].[Description]"},
    {"Delete * from [T]", {}, "DELETE FROM [T]"},

    // SELECT forms.
    {"SELECT DISTINCT a FROM t", {}, "SELECT DISTINCT [a] FROM [t]"},
    {"SELECT DISTINCTROW a FROM t", {}, "SELECT [a] FROM [t]"},
    {"SELECT TOP 5 a FROM t ORDER BY a DESC", {}, "SELECT [a] FROM [t] ORDER BY [a] DESC LIMIT 5"},
    {"SELECT TOP 10 PERCENT a FROM t ORDER BY a", {},
     "SELECT [a] FROM [t] ORDER BY [a] LIMIT (SELECT (count(*) * 10 + 99) / 100 FROM (SELECT [a] FROM [t]))"},
    {"SELECT a.x, b.y FROM a LEFT JOIN b ON a.id = b.aid", {},
     "SELECT [a].[x], [b].[y] FROM [a] LEFT JOIN [b] ON [a].[id] = [b].[aid]"},
    {"SELECT * FROM a RIGHT OUTER JOIN b ON a.id = b.aid", {}, "SELECT * FROM [b] LEFT JOIN [a] ON [a].[id] = [b].[aid]"},
    {"SELECT * FROM (a INNER JOIN b ON a.id = b.aid) INNER JOIN c ON b.id = c.bid", {},
     "SELECT * FROM [a] INNER JOIN [b] ON [a].[id] = [b].[aid] INNER JOIN [c] ON [b].[id] = [c].[bid]"},
    {"SELECT * FROM c LEFT JOIN (a INNER JOIN b ON a.id = b.aid) ON b.id = c.bid", {},
     "SELECT * FROM [c] LEFT JOIN ([a] INNER JOIN [b] ON [a].[id] = [b].[aid]) ON [b].[id] = [c].[bid]"},
    {"SELECT * FROM (a INNER JOIN b ON a.id = b.aid) RIGHT JOIN c ON b.id = c.bid", {},
     "SELECT * FROM [c] LEFT JOIN ([a] INNER JOIN [b] ON [a].[id] = [b].[aid]) ON [b].[id] = [c].[bid]"},
    {"SELECT * FROM a, b WHERE a.id = b.aid", {}, "SELECT * FROM [a], [b] WHERE [a].[id] = [b].[aid]"},
    {"SELECT g.Name FROM Groups AS g", {}, "SELECT [g].[Name] FROM [Groups] AS [g]"},
    {"SELECT g.Name FROM [Groups] g", {}, "SELECT [g].[Name] FROM [Groups] AS [g]"},
    {"SELECT q.n FROM (SELECT Name AS n FROM Groups) AS q", {},
     "SELECT [q].[n] AS [n] FROM (SELECT [Name] AS [n] FROM [Groups]) AS [q]"},
    {"SELECT GroupID, Count(*) AS n FROM Passwords GROUP BY GroupID HAVING Count(*) > 1 ORDER BY GroupID", {},
     "SELECT [GroupID], count(*) AS [n] FROM [Passwords] GROUP BY [GroupID] HAVING count(*) > 1 ORDER BY [GroupID]"},
    {"SELECT Name FROM a UNION SELECT Name FROM b ORDER BY Name", {},
     "SELECT [Name] FROM [a] UNION SELECT [Name] FROM [b] ORDER BY [Name]"},
    {"SELECT a.Name FROM a UNION ALL SELECT b.Name FROM b ORDER BY a.Name DESC", {},
     "SELECT [a].[Name] FROM [a] UNION ALL SELECT [b].[Name] FROM [b] ORDER BY [Name] DESC"},
    {"SELECT TOP 1 Name FROM a UNION SELECT Name FROM b", {},
     "SELECT * FROM (SELECT [Name] FROM [a] LIMIT 1) UNION SELECT [Name] FROM [b]"},
    {"TABLE a UNION TABLE b", {}, "SELECT * FROM [a] UNION SELECT * FROM [b]"},
    {"SELECT [Groups].*, [Passwords].[Description] FROM Groups, Passwords", {},
     "SELECT [Groups].*, [Passwords].[Description] AS [Description] FROM [Groups], [Passwords]"},
    {"SELECT Groups!Name FROM Groups", {}, "SELECT [Groups].[Name] FROM [Groups]"},
    {"SELECT Groups.GroupID, Passwords.GroupID FROM Groups INNER JOIN Passwords ON Groups.GroupID = Passwords.GroupID",
     {},
     "SELECT [Groups].[GroupID] AS [Groups.GroupID], [Passwords].[GroupID] AS [Passwords.GroupID] FROM [Groups] "
     "INNER JOIN [Passwords] ON [Groups].[GroupID] = [Passwords].[GroupID]"},
    {"SELECT * FROM t WITH OWNERACCESS OPTION;", {}, "SELECT * FROM [t]"},
    {"  select *\r\n\tfrom t  ;  ", {}, "SELECT * FROM [t]"},

    // Action queries.
    {"INSERT INTO Groups (Name) VALUES (\"Bank\")", {}, "INSERT INTO [Groups] ([Name]) VALUES ('Bank')"},
    {"INSERT INTO Archive SELECT * FROM Passwords WHERE ExpireDate < #1/1/2000#", {},
     "INSERT INTO [Archive] SELECT * FROM [Passwords] WHERE [ExpireDate] < 36526"},
    {"UPDATE Passwords SET Password = 'x', AssignDate = Now() WHERE PasswordID = 3", {},
     "UPDATE [Passwords] SET [Password] = 'x', [AssignDate] = kh_now() WHERE [PasswordID] = 3"},
    {"UPDATE DISTINCTROW Options SET Options.style = \"Flat\";", {}, "UPDATE [Options] SET [style] = 'Flat'"},
    {"UPDATE Passwords AS p SET p.ID = p.ID & '!' WHERE p.GroupID = 2", {},
     "UPDATE [Passwords] SET [ID] = kh_cat([Passwords].[ID], '!') WHERE [Passwords].[GroupID] = 2"},
    {"DELETE FROM Passwords WHERE GroupID = 2", {}, "DELETE FROM [Passwords] WHERE [GroupID] = 2"},
    {"DELETE Passwords.* FROM Passwords WHERE GroupID = 2", {}, "DELETE FROM [Passwords] WHERE [GroupID] = 2"},
    {"DELETE p.* FROM Passwords AS p INNER JOIN Groups AS g ON p.GroupID = g.GroupID WHERE g.Name = 'Old'", {},
     "DELETE FROM [Passwords] WHERE rowid IN (SELECT [p].rowid FROM [Passwords] AS [p] INNER JOIN [Groups] AS [g] ON "
     "[p].[GroupID] = [g].[GroupID] WHERE [g].[Name] = 'Old')"},

    // Literals.
    {"SELECT 'it''s', \"say \"\"hi\"\"\", \"a'b\" FROM t", {},
     "SELECT 'it''s' AS [Expr1000], 'say \"hi\"' AS [Expr1001], 'a''b' AS [Expr1002] FROM [t]"},
    {"SELECT * FROM t WHERE d = #03/15/2002# OR d = #3/15/2002 2:30:00 PM# OR d = #1998-03-07# OR d = #13/5/2002#",
     {},
     "SELECT * FROM [t] WHERE [d] = 37330 OR [d] = 37330.604166666664 OR [d] = 35861 OR [d] = 37389"},
    {"SELECT * FROM t WHERE d < #1/1/1899#", {}, "SELECT * FROM [t] WHERE [d] < (-363)"},
    {"SELECT * FROM t WHERE a = True OR b = Yes OR c = On OR d = False OR e = No OR f = Off OR g Is Null", {},
     "SELECT * FROM [t] WHERE [a] = -1 OR [b] = -1 OR [c] = -1 OR [d] = 0 OR [e] = 0 OR [f] = 0 OR [g] IS NULL"},
    {"SELECT * FROM t WHERE a = 1.5E3 OR b = .5 OR c Is Not Null", {},
     "SELECT * FROM [t] WHERE [a] = 1.5E3 OR [b] = .5 OR [c] IS NOT NULL"},

    // Operators, with Jet's precedence.
    {"SELECT a & b + 1 & c FROM t", {}, "SELECT kh_cat([a], [b] + 1, [c]) AS [Expr1000] FROM [t]"},
    {"SELECT First + ' ' + Last AS Full FROM t", {}, "SELECT kh_add(kh_add([First], ' '), [Last]) AS [Full] FROM [t]"},
    {"SELECT 7 / 2, 7 \\ 2, 7 Mod 2, 2 ^ 3, -2 ^ 2, a - -1 FROM t", {},
     "SELECT kh_div(7, 2) AS [Expr1000], kh_idiv(7, 2) AS [Expr1001], kh_mod(7, 2) AS [Expr1002], kh_pow(2, 3) AS "
     "[Expr1003], -kh_pow(2, 2) AS [Expr1004], [a] - -1 AS [Expr1005] FROM [t]"},
    {"SELECT 1 + 2 * 3 - 4, (1 + 2) * 3, 1 - (2 - 3), - -a FROM t", {},
     "SELECT 1 + 2 * 3 - 4 AS [Expr1000], (1 + 2) * 3 AS [Expr1001], 1 - (2 - 3) AS [Expr1002], -(-[a]) AS [Expr1003] "
     "FROM [t]"},
    {"SELECT * FROM t WHERE a = 1 OR b = 2 AND NOT c = 3", {},
     "SELECT * FROM [t] WHERE [a] = 1 OR [b] = 2 AND NOT [c] = 3"},
    {"SELECT * FROM t WHERE (a = 1 OR b = 2) AND c = 3", {}, "SELECT * FROM [t] WHERE ([a] = 1 OR [b] = 2) AND [c] = 3"},
    {"SELECT * FROM t WHERE a = 1 Xor b = 2", {}, "SELECT * FROM [t] WHERE (([a] = 1) <> ([b] = 2))"},
    {"SELECT * FROM t WHERE a Eqv b", {}, "SELECT * FROM [t] WHERE (([a] <> 0) = ([b] <> 0))"},
    {"SELECT * FROM t WHERE a = 1 Imp b = 2", {}, "SELECT * FROM [t] WHERE NOT [a] = 1 OR [b] = 2"},
    {"SELECT a > 5 AS big, Not a FROM t", {}, "SELECT -([a] > 5) AS [big], -(NOT [a]) AS [Expr1000] FROM [t]"},
    {"SELECT * FROM t WHERE (a = 1) = (b = 2)", {}, "SELECT * FROM [t] WHERE -([a] = 1) = -([b] = 2)"},
    {"SELECT * FROM t WHERE d Between #1/1/2000# And #12/31/2000# AND e Not Between 1 And 2", {},
     "SELECT * FROM [t] WHERE [d] BETWEEN 36526 AND 36891 AND [e] NOT BETWEEN 1 AND 2"},
    {"SELECT * FROM t WHERE GroupID In (1, 2, 3) OR GroupID Not In (SELECT GroupID FROM Groups)", {},
     "SELECT * FROM [t] WHERE [GroupID] IN (1, 2, 3) OR [GroupID] NOT IN (SELECT [GroupID] FROM [Groups])"},
    {"SELECT * FROM t WHERE a Like \"*bank*\" AND b Not Like 'x?' AND c Like d & \"*\"", {},
     "SELECT * FROM [t] WHERE [a] LIKE '*bank*' AND [b] NOT LIKE 'x?' AND [c] LIKE kh_cat([d], '*')"},
    {"SELECT * FROM Groups WHERE EXISTS (SELECT * FROM Passwords WHERE Passwords.GroupID = Groups.GroupID)", {},
     "SELECT * FROM [Groups] WHERE EXISTS (SELECT * FROM [Passwords] WHERE [Passwords].[GroupID] = [Groups].[GroupID])"},
    {"SELECT * FROM t WHERE x = ANY (SELECT y FROM u) AND x <> ALL (SELECT y FROM u)", {},
     "SELECT * FROM [t] WHERE [x] IN (SELECT [y] FROM [u]) AND [x] NOT IN (SELECT [y] FROM [u])"},
    {"SELECT * FROM t WHERE x > ALL (SELECT y FROM u) OR x < SOME (SELECT y FROM u)", {},
     "SELECT * FROM [t] WHERE NOT EXISTS (SELECT 1 FROM (SELECT [y] AS [kh_v] FROM [u]) AS [kh_q] WHERE coalesce(NOT "
     "([x] > [kh_q].[kh_v]), 1)) OR EXISTS (SELECT 1 FROM (SELECT [y] AS [kh_v] FROM [u]) AS [kh_q] WHERE [x] < "
     "[kh_q].[kh_v])"},
    {"SELECT (SELECT Max(x) FROM u) AS m FROM t", {}, "SELECT (SELECT max([x]) AS [Expr1000] FROM [u]) AS [m] FROM [t]"},

    // Text compares as Jet compares it where no column collation applies.
    {"SELECT * FROM t WHERE UCase(Name) = 'BANK' OR Len(Name) = 3 ORDER BY UCase(Name), Len(Name)", {},
     "SELECT * FROM [t] WHERE kh_ucase([Name]) = 'BANK' COLLATE JETTEXT OR kh_len([Name]) = 3 ORDER BY "
     "kh_ucase([Name]) COLLATE JETTEXT, kh_len([Name])"},
    {"SELECT * FROM t WHERE Trim(a) In ('x', 'y') GROUP BY LCase(b)", {},
     "SELECT * FROM [t] WHERE kh_trim([a]) COLLATE JETTEXT IN ('x', 'y') GROUP BY kh_lcase([b]) COLLATE JETTEXT"},

    // Functions.
    {"SELECT UCase(Name), Left$(Name, 2), Len(Name), IIf(ShowAccount, \"Y\", \"N\"), Nz(URL), Nz(URL, \"-\"), "
     "IsNull(URL) FROM Passwords",
     {},
     "SELECT kh_ucase([Name]) AS [Expr1000], kh_left([Name], 2) AS [Expr1001], kh_len([Name]) AS [Expr1002], CASE "
     "WHEN [ShowAccount] THEN 'Y' ELSE 'N' END AS [Expr1003], ifnull([URL], '') AS [Expr1004], ifnull([URL], '-') AS "
     "[Expr1005], -([URL] IS NULL) AS [Expr1006] FROM [Passwords]"},
    {"SELECT Count(*), Count(URL), Sum(x), Avg(x), Min(x), Max(x), First(x), Last(x), StDev(x) FROM t", {},
     "SELECT count(*) AS [Expr1000], count([URL]) AS [Expr1001], sum([x]) AS [Expr1002], avg([x]) AS [Expr1003], "
     "min([x]) AS [Expr1004], max([x]) AS [Expr1005], kh_first([x]) AS [Expr1006], kh_last([x]) AS [Expr1007], "
     "kh_stdev([x]) AS [Expr1008] FROM [t]"},
    {"SELECT Date(), Time(), DateAdd(\"d\", 1, d), DateDiff('m', d, Now()), Format(d, \"yyyy\") FROM t", {},
     "SELECT kh_date() AS [Expr1000], kh_time() AS [Expr1001], kh_dateadd('d', 1, [d]) AS [Expr1002], "
     "kh_datediff('m', [d], kh_now()) AS [Expr1003], kh_format([d], 'yyyy') AS [Expr1004] FROM [t]"},
};

TEST(JetSql, TranslatesStatements) {
  for (const SqlCase& c : kStatements) {
    Translation t;
    Error e;
    ASSERT_TRUE(translateStatement(c.jet, names(c.params), t, e)) << c.jet << "\n" << e.daoError << " " << e.message;
    EXPECT_EQ(t.sql, c.sqlite) << c.jet;
  }
}

TEST(JetSql, ReportsKindsAndTargets) {
  struct KindCase {
    const char* jet;
    StatementKind kind;
    const char* target;
  } const cases[] = {
      {"SELECT * FROM t", StatementKind::Select, ""},
      {"SELECT * INTO Backup FROM Groups WHERE GroupID > 1", StatementKind::SelectInto, "Backup"},
      {"INSERT INTO [My Table] VALUES (1, 'a')", StatementKind::Insert, "My Table"},
      {"UPDATE t SET a = 1", StatementKind::Update, "t"},
      {"DELETE FROM t", StatementKind::Delete, "t"},
      {"DELETE x.* FROM t AS x INNER JOIN u ON x.a = u.a", StatementKind::Delete, "t"},
  };
  for (const KindCase& c : cases) {
    Translation t;
    Error e;
    ASSERT_TRUE(translateStatement(c.jet, {}, t, e)) << c.jet << ": " << e.message;
    EXPECT_EQ(t.kind, c.kind) << c.jet;
    EXPECT_EQ(t.targetTable, c.target) << c.jet;
  }
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement("SELECT * INTO Backup FROM Groups WHERE GroupID > 1", {}, t, e));
  EXPECT_EQ(t.sql, "SELECT * FROM [Groups] WHERE [GroupID] > 1");
  EXPECT_FALSE(t.select.has_value());
  ASSERT_TRUE(translateStatement("INSERT INTO t (a, t.b) VALUES (1, 2)", {}, t, e));
  EXPECT_EQ(t.insertColumns, (std::vector<std::string>{"a", "b"}));
}

TEST(JetSql, NumbersParametersByFirstUse) {
  // Names found by the store (plain, dotted, bracketed with blanks), and
  // declared ones; one marker per name whatever its letter case.
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement("SELECT [p2] FROM t WHERE a = [Enter a] AND t.b = [t].[B] AND c = par_1 AND d = Par_1",
                                 names({"Enter a", "T.b", "PAR_1", "p2"}), t, e))
      << e.message;
  EXPECT_EQ(t.sql, "SELECT ?1 AS [Expr1000] FROM [t] WHERE [a] = ?2 AND ?3 = ?3 COLLATE JETTEXT AND [c] = ?4 AND [d] = ?4");
  EXPECT_EQ(t.parameters, (std::vector<std::string>{"p2", "Enter a", "t.b", "par_1"}));

  ASSERT_TRUE(translateStatement("PARAMETERS [Enter date] DateTime, Who Text(50), n Integer, v Value, q Foo;\r\n"
                                 "SELECT * FROM Passwords WHERE ExpireDate < [Enter date] AND ID = who OR ID = Who",
                                 {}, t, e))
      << e.message;
  EXPECT_EQ(t.sql, "SELECT * FROM [Passwords] WHERE [ExpireDate] < ?1 AND [ID] = ?2 OR [ID] = ?2");
  EXPECT_EQ(t.parameters, (std::vector<std::string>{"Enter date", "who"}));
  ASSERT_EQ(t.declaredParameters.size(), 5u);
  const std::pair<const char*, int> declared[] = {{"Enter date", 8}, {"Who", 10}, {"n", 3}, {"v", 0}, {"q", 0}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(t.declaredParameters[i].name, declared[i].first);
    EXPECT_EQ(t.declaredParameters[i].daoType, declared[i].second);
  }
  // Without the set, an unknown name stays a column reference for SQLite to
  // report; a string that happens to read like one is still a string.
  ASSERT_TRUE(translateStatement("SELECT * FROM t WHERE a = Par_1 AND b = 'Par_1'", {}, t, e));
  EXPECT_EQ(t.sql, "SELECT * FROM [t] WHERE [a] = [Par_1] AND [b] = 'Par_1'");
  EXPECT_TRUE(t.parameters.empty());
}

TEST(JetSql, DescribesSelectsForKeysetCursors) {
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement("select * from passwords where GroupId = Par_1 order by Description", names({"Par_1"}),
                                 t, e));
  ASSERT_TRUE(t.select.has_value());
  const SelectInfo& s = *t.select;
  EXPECT_TRUE(s.singleTable);
  ASSERT_EQ(s.tables.size(), 1u);
  EXPECT_EQ(s.tables[0].name, "passwords");
  EXPECT_EQ(s.tables[0].alias, "");
  EXPECT_EQ(t.sql.substr(s.selectListOffset), "* FROM [passwords] WHERE [GroupId] = ?1 ORDER BY [Description]");
  EXPECT_EQ(s.selectList, "*");
  EXPECT_EQ(s.from, "[passwords]");
  EXPECT_EQ(s.where, "[GroupId] = ?1");
  EXPECT_EQ(s.orderBy, "[Description]");

  ASSERT_TRUE(translateStatement("SELECT DISTINCT g.Name FROM Groups AS g", {}, t, e));
  EXPECT_EQ(t.sql.substr(t.select->selectListOffset), "[g].[Name] FROM [Groups] AS [g]");
  EXPECT_EQ(t.select->tables[0].alias, "g");
  EXPECT_FALSE(t.select->singleTable);

  struct SingleCase {
    const char* jet;
    bool single;
  } const cases[] = {
      {"SELECT a, b + 1 AS c FROM t WHERE a > 1", true},
      {"SELECT DISTINCTROW * FROM t", true},
      {"SELECT g.* FROM Groups AS g", true},
      {"SELECT TOP 3 * FROM t", false},
      {"SELECT Count(*) FROM t", false},
      {"SELECT a FROM t GROUP BY a", false},
      {"SELECT a FROM t ORDER BY Max(b)", false},
      {"SELECT * FROM a INNER JOIN b ON a.x = b.x", false},
      {"SELECT * FROM a, b", false},
      {"SELECT * FROM (SELECT * FROM t) AS q", false},
      {"SELECT 1", false},
  };
  for (const SingleCase& c : cases) {
    ASSERT_TRUE(translateStatement(c.jet, {}, t, e)) << c.jet;
    ASSERT_TRUE(t.select.has_value()) << c.jet;
    EXPECT_EQ(t.select->singleTable, c.single) << c.jet;
  }
  ASSERT_TRUE(translateStatement("SELECT a FROM t UNION SELECT a FROM u", {}, t, e));
  EXPECT_FALSE(t.select.has_value());
  ASSERT_TRUE(translateStatement("SELECT * FROM a INNER JOIN b AS y ON a.x = y.x, (SELECT 1 AS n) AS q", {}, t, e));
  ASSERT_EQ(t.select->tables.size(), 3u);
  EXPECT_EQ(t.select->tables[1].name, "b");
  EXPECT_EQ(t.select->tables[1].alias, "y");
  EXPECT_EQ(t.select->tables[2].name, "");
  EXPECT_EQ(t.select->tables[2].alias, "q");
}

TEST(JetSql, ParsesDdl) {
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement(
      "CREATE TABLE Groups (GroupID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, Name TEXT(50) NOT NULL, Notes MEMO, "
      "Amount CURRENCY, Flag YESNO, Id GUID, Pic LONGBINARY, Bin BINARY(16), b BYTE, s SHORT, sg SINGLE, d DOUBLE, "
      "dt DATETIME, t TEXT, n INTEGER, [Long Name] VARCHAR UNIQUE)",
      {}, t, e))
      << e.message;
  EXPECT_EQ(t.kind, StatementKind::CreateTable);
  EXPECT_TRUE(t.sql.empty());
  EXPECT_EQ(t.ddl.table, "Groups");
  struct Col {
    const char* name;
    int type, size;
    bool autoInc, notNull;
  } const cols[] = {{"GroupID", 4, 4, true, false}, {"Name", 10, 50, false, true}, {"Notes", 12, 0, false, false},
                    {"Amount", 5, 8, false, false}, {"Flag", 1, 1, false, false},  {"Id", 15, 16, false, false},
                    {"Pic", 11, 0, false, false},   {"Bin", 9, 16, false, false},  {"b", 2, 1, false, false},
                    {"s", 3, 2, false, false},      {"sg", 6, 4, false, false},    {"d", 7, 8, false, false},
                    {"dt", 8, 8, false, false},     {"t", 10, 255, false, false},  {"n", 4, 4, false, false},
                    {"Long Name", 10, 255, false, false}};
  ASSERT_EQ(t.ddl.columns.size(), std::size(cols));
  for (std::size_t i = 0; i < std::size(cols); ++i) {
    const ColumnDef& c = t.ddl.columns[i];
    EXPECT_EQ(c.name, cols[i].name);
    EXPECT_EQ(c.daoType, cols[i].type) << c.name;
    EXPECT_EQ(c.size, cols[i].size) << c.name;
    EXPECT_EQ(c.autoIncrement, cols[i].autoInc) << c.name;
    EXPECT_EQ(c.notNull, cols[i].notNull) << c.name;
  }
  ASSERT_EQ(t.ddl.indexes.size(), 2u);
  EXPECT_EQ(t.ddl.indexes[0].name, "PrimaryKey");
  EXPECT_TRUE(t.ddl.indexes[0].primary && t.ddl.indexes[0].unique && t.ddl.indexes[0].required);
  EXPECT_EQ(t.ddl.indexes[0].columns[0].name, "GroupID");
  EXPECT_EQ(t.ddl.indexes[1].name, "");
  EXPECT_TRUE(t.ddl.indexes[1].unique && !t.ddl.indexes[1].primary);

  ASSERT_TRUE(translateStatement("CREATE TABLE x (a LONG, b TEXT, CONSTRAINT pk PRIMARY KEY (a, b), "
                                 "CONSTRAINT u UNIQUE (b), CONSTRAINT fk FOREIGN KEY (a) REFERENCES Groups (GroupID))",
                                 {}, t, e))
      << e.message;
  ASSERT_EQ(t.ddl.indexes.size(), 2u);
  EXPECT_EQ(t.ddl.indexes[0].name, "pk");
  EXPECT_EQ(t.ddl.indexes[0].columns.size(), 2u);
  EXPECT_EQ(t.ddl.indexes[1].columns[0].name, "b");
  ASSERT_EQ(t.ddl.foreignKeys.size(), 1u);
  EXPECT_EQ(t.ddl.foreignKeys[0].name, "fk");
  EXPECT_EQ(t.ddl.foreignKeys[0].referencedTable, "Groups");
  EXPECT_EQ(t.ddl.foreignKeys[0].referencedColumns, (std::vector<std::string>{"GroupID"}));

  ASSERT_TRUE(translateStatement("CREATE UNIQUE INDEX ixName ON Groups (Name ASC, GroupID DESC) WITH DISALLOW NULL",
                                 {}, t, e));
  EXPECT_EQ(t.kind, StatementKind::CreateIndex);
  EXPECT_EQ(t.ddl.table, "Groups");
  ASSERT_EQ(t.ddl.indexes.size(), 1u);
  const IndexDef& ix = t.ddl.indexes[0];
  EXPECT_EQ(ix.name, "ixName");
  EXPECT_TRUE(ix.unique && ix.required && !ix.primary && !ix.ignoreNulls);
  ASSERT_EQ(ix.columns.size(), 2u);
  EXPECT_FALSE(ix.columns[0].descending);
  EXPECT_TRUE(ix.columns[1].descending);
  ASSERT_TRUE(translateStatement("CREATE INDEX pk ON t (a) WITH PRIMARY", {}, t, e));
  EXPECT_TRUE(t.ddl.indexes[0].primary && t.ddl.indexes[0].unique);
  ASSERT_TRUE(translateStatement("CREATE INDEX ix ON t (a) WITH IGNORE NULL", {}, t, e));
  EXPECT_TRUE(t.ddl.indexes[0].ignoreNulls && !t.ddl.indexes[0].unique);

  struct Simple {
    const char* jet;
    StatementKind kind;
    const char* table;
    const char* name;
  } const simple[] = {
      {"DROP TABLE Groups;", StatementKind::DropTable, "Groups", ""},
      {"DROP INDEX ixName ON [Groups]", StatementKind::DropIndex, "Groups", "ixName"},
      {"ALTER TABLE Groups DROP COLUMN Color", StatementKind::DropColumn, "Groups", "Color"},
      {"ALTER TABLE Groups DROP Color", StatementKind::DropColumn, "Groups", "Color"},
      {"ALTER TABLE t DROP CONSTRAINT u", StatementKind::DropConstraint, "t", "u"},
  };
  for (const Simple& s : simple) {
    ASSERT_TRUE(translateStatement(s.jet, {}, t, e)) << s.jet;
    EXPECT_EQ(t.kind, s.kind) << s.jet;
    EXPECT_EQ(t.ddl.table, s.table) << s.jet;
    EXPECT_EQ(t.ddl.name, s.name) << s.jet;
  }
  ASSERT_TRUE(translateStatement("ALTER TABLE Groups ADD COLUMN Color TEXT(20) NOT NULL", {}, t, e));
  EXPECT_EQ(t.kind, StatementKind::AddColumn);
  ASSERT_EQ(t.ddl.columns.size(), 1u);
  EXPECT_EQ(t.ddl.columns[0].size, 20);
  EXPECT_TRUE(t.ddl.columns[0].notNull);
  ASSERT_TRUE(translateStatement("ALTER TABLE Groups ADD Color SHORT", {}, t, e));
  EXPECT_EQ(t.ddl.columns[0].daoType, 3);
  ASSERT_TRUE(translateStatement("ALTER TABLE t ADD CONSTRAINT u UNIQUE (a)", {}, t, e));
  EXPECT_EQ(t.kind, StatementKind::AddConstraint);
  EXPECT_EQ(t.ddl.indexes[0].name, "u");
}

struct ErrorCase {
  const char* jet;
  unsigned error;
  const char* messagePart;
};

const ErrorCase kErrors[] = {
    {"", 3129, "Invalid SQL statement"},
    {"SELEC * FROM t", 3129, ""},
    {"TRANSFORM Count(x) SELECT a FROM t GROUP BY a PIVOT b", 3129, ""},
    {"SELECT * FROM", 3131, "FROM clause"},
    {"SELECT * FROM t WHERE", 3075, ""},
    {"SELECT * FROM t WHERE a = ", 3075, "'a ='"},
    {"SELECT a b FROM t", 3075, "'a b'"},
    {"SELECT * FROM t WHERE a = 1 b", 3075, "'a = 1 b'"},
    {"SELECT * FROM t WHERE (a = 1", 3075, ""},
    {"SELECT * FROM t WHERE a = 1 ORDER BY a; SELECT 1", 3142, "after end"},
    {"SELECT * FROM t, ", 3131, ""},
    {"SELECT * FROM a INNER JOIN b", 3135, "JOIN"},
    {"SELECT * FROM a INNER JOIN b ON", 3075, ""},
    {"SELECT * FROM a FULL JOIN b ON a.x = b.x", 3135, ""},
    {"SELECT Foo(x) FROM t", 3085, "'Foo'"},
    {"SELECT Nz() FROM t", 3075, "Wrong number of arguments"},
    {"SELECT Left(x) FROM t", 3075, "Wrong number of arguments"},
    {"SELECT * FROM t WHERE a = \"abc", 3075, "string"},
    {"SELECT * FROM t WHERE d = #2/30/2002#", 3075, "date"},
    {"SELECT * FROM t WHERE d = #abc#", 3075, "date"},
    {"SELECT * FROM t WHERE d = #1/1/2000", 3075, "date"},
    {"SELECT [a FROM t", 3126, "bracketing"},
    {"SELECT * FROM t WHERE x = ?", 3075, ""},
    {"SELECT * FROM t WHERE x = :GroupId", 3075, ""},
    {"SELECT * FROM t WHERE Count(*) > 1", 3096, "WHERE clause (Count(*) > 1)"},
    {"SELECT * FROM t ORDER BY", 3138, ""},
    {"SELECT * FROM t GROUP a", 3132, ""},
    {"SELECT a FROM t ORDER BY a UNION SELECT a FROM u", 3319, ""},
    {"SELECT TOP x a FROM t", 3141, ""},
    {"SELECT FROM t", 3141, ""},
    {"SELECT x FROM t WHERE x > ANY (SELECT a, b FROM u)", 3306, ""},
    {"SELECT DISTINCTROW Name FROM a INNER JOIN b ON a.x = b.x", 3141, ""},
    {"INSERT INTO t (a, b) VALUES (1)", 3346, ""},
    {"INSERT t VALUES (1)", 3134, ""},
    {"INSERT INTO t", 3134, ""},
    {"INSERT INTO t VALUES (1, )", 3134, ""},
    {"UPDATE t a = 1", 3144, ""},
    {"UPDATE t SET a = ", 3075, ""},
    {"UPDATE t SET u.a = 1", 3144, ""},
    {"UPDATE a INNER JOIN b ON a.x = b.x SET a.y = b.y", 3073, ""},
    {"DELETE FROM", 3131, ""},
    {"DELETE * FROM a INNER JOIN b ON a.x = b.x", 3128, ""},
    {"DELETE u.* FROM t", 3128, ""},
    {"DELETE t WHERE a = 1", 3130, ""},
    {"PARAMETERS x Text SELECT * FROM t", 3139, ""},
    {"PARAMETERS ; SELECT * FROM t", 3139, ""},
    {"CREATE TABLE t (a FOO)", 3292, ""},
    {"CREATE TABLE t (a TEXT(300))", 3292, ""},
    {"CREATE TABLE t (a LONG(4))", 3292, ""},
    {"CREATE TABLE t (a LONG, A TEXT)", 3191, ""},
    {"CREATE TABLE t (a LONG PRIMARY KEY, b LONG, CONSTRAINT p PRIMARY KEY (b))", 3283, ""},
    {"CREATE TABLE t", 3290, ""},
    {"CREATE TABLE t ()", 3290, ""},
    {"CREATE TABLE t (a LONG, CONSTRAINT c CHECK (a > 0))", 3289, ""},
    {"CREATE INDEX i t (a)", 3291, ""},
    {"CREATE INDEX i ON t (a) WITH", 3291, ""},
    {"DROP INDEX i", 3295, ""},
    {"DROP VIEW v", 3295, ""},
    {"ALTER TABLE t MODIFY a", 3293, ""},
};

TEST(JetSql, FailsWithDaoErrors) {
  for (const ErrorCase& c : kErrors) {
    Translation t;
    Error e;
    EXPECT_FALSE(translateStatement(c.jet, {}, t, e)) << c.jet << " gave " << t.sql;
    EXPECT_EQ(e.daoError, c.error) << c.jet << ": " << e.message;
    EXPECT_NE(e.message.find(c.messagePart), std::string::npos) << c.jet << ": " << e.message;
  }
}

TEST(JetSql, EveryPrefixTranslatesOrFailsCleanly) {
  // Cut each statement at every byte: the result is SQL or a DAO error, never
  // a crash or an empty success.
  for (const SqlCase& c : kStatements) {
    std::string_view full = c.jet;
    for (std::size_t n = 0; n <= full.size(); ++n) {
      Translation t;
      Error e;
      if (translateStatement(full.substr(0, n), names(c.params), t, e)) {
        EXPECT_FALSE(t.sql.empty()) << full.substr(0, n);
      } else {
        EXPECT_GE(e.daoError, 3000u) << full.substr(0, n);
        EXPECT_FALSE(e.message.empty()) << full.substr(0, n);
      }
    }
  }
  Translation t;
  Error e;
  EXPECT_FALSE(translateStatement(std::string_view("SELECT * FROM t WHERE a = 'x\0' OR 1 = 1", 38), {}, t, e));
  EXPECT_EQ(e.daoError, 3075u);
}

TEST(JetSql, RejectsPathologicalNesting) {
  std::string deep = "SELECT * FROM t WHERE " + std::string(5000, '(') + "1" + std::string(5000, ')');
  Translation t;
  Error e;
  EXPECT_FALSE(translateStatement(deep, {}, t, e));
  EXPECT_EQ(e.daoError, sqlerr::QueryTooComplex);
  std::string minus = "SELECT " + std::string(5000, '-') + "1";
  EXPECT_FALSE(translateStatement(minus, {}, t, e));
  EXPECT_EQ(e.daoError, sqlerr::QueryTooComplex);
  ASSERT_TRUE(translateStatement("SELECT * FROM t WHERE " + std::string(50, '(') + "a = 1" + std::string(50, ')'), {}, t,
                                 e));
  EXPECT_EQ(t.sql, "SELECT * FROM [t] WHERE [a] = 1");
}

// Operator chains are read in loops but nest one level per operator: every
// shape, at any length, gives SQL or "too complex", never a crash.
TEST(JetSql, LongOperatorChainsFailCleanly) {
  auto repeat = [](const std::string& head, const std::string& part, std::size_t n, const std::string& tail) {
    std::string s = head;
    s.reserve(head.size() + part.size() * n + tail.size());
    for (std::size_t i = 0; i < n; ++i) s += part;
    return s + tail;
  };
  struct Chain {
    std::string head, part, tail;
  };
  const Chain chains[] = {
      {"SELECT * FROM groups WHERE GroupID = 1", "+1", ""},
      {"SELECT * FROM groups WHERE GroupID = 1", " OR GroupID = 1", ""},
      {"SELECT * FROM groups WHERE a", " AND a", ""},
      {"SELECT 1", "*2", " FROM t"},
      {"SELECT 2", "^2", ""},
      {"SELECT * FROM t WHERE a", " = a", ""},
      {"SELECT * FROM t WHERE a", " Like a", ""},
      {"SELECT * FROM t WHERE a", " Is Null = a", ""},
      {"SELECT * FROM t WHERE a", " Mod 2", ""},
      {"SELECT * FROM t WHERE a", " XOR a", ""},
      {"SELECT * FROM t WHERE a", " IMP a", ""},
      {"SELECT * FROM t0", " INNER JOIN t ON 1 = 1", ""},
      {"SELECT * FROM t WHERE a IN (1", ", 1", ")"},
      {"SELECT * FROM t WHERE a = abs(1", " + abs(1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1)", ")"},
      {"UPDATE t SET a = 1", " - 1", ""},
      {"DELETE FROM t WHERE a = 1", " OR a = 1", ""},
  };
  for (const Chain& c : chains) {
    for (std::size_t n : {10u, 399u, 1000u, 20000u}) {
      std::string sql = repeat(c.head, c.part, n, c.tail);
      Translation t;
      Error e;
      if (!translateStatement(sql, {}, t, e)) {
        EXPECT_EQ(e.daoError, sqlerr::QueryTooComplex) << c.head << c.part << " x" << n << ": " << e.message;
      } else {
        EXPECT_FALSE(t.sql.empty());
      }
      if (n == 10) {
        EXPECT_TRUE(translateStatement(sql, {}, t, e)) << c.head << c.part << ": " << e.message;
      }
      if (n >= 1000 && c.part != ", 1") {
        EXPECT_FALSE(translateStatement(sql, {}, t, e)) << c.head << c.part;
      }
    }
  }
  // Subqueries each at the bottom of a chain make one deep tree.
  std::string nested = "SELECT 1";
  for (int i = 0; i < 20; ++i) nested = "SELECT a FROM t WHERE a = (" + nested + ")" + repeat("", " + a", 150, "");
  nested = "SELECT * FROM t WHERE a IN (" + nested + ")";
  Translation t;
  Error e;
  EXPECT_FALSE(translateStatement(nested, {}, t, e));
  EXPECT_EQ(e.daoError, sqlerr::QueryTooComplex);
  ExpressionTranslation x;
  EXPECT_FALSE(translateExpression(repeat("a = 1", " Or a = 1", 20000, ""), {}, x, e));
  EXPECT_EQ(e.daoError, sqlerr::QueryTooComplex);
}

TEST(JetSql, TranslatesLoneExpressions) {
  struct ExprCase {
    const char* jet;
    std::initializer_list<const char*> params;
    const char* sqlite;
  } const cases[] = {
      {"Name = 'abc' AND ExpireDate <= #03/07/1998#", {}, "[Name] = 'abc' AND [ExpireDate] <= 35861"},
      {"[Description] Like \"*bank*\"", {}, "[Description] LIKE '*bank*'"},
      {"([Name] = \"abc\")", {}, "[Name] = 'abc'"},
      {"((([Name] like \"ab\" & \"*\"))) and (([GroupID] = 3))", {},
       "[Name] LIKE kh_cat('ab', '*') AND [GroupID] = 3"},
      {"[x] = [Enter it] OR [y] = [enter IT]", {"Enter it"}, "[x] = ?1 OR [y] = ?1"},
      {"ShowAccount", {}, "[ShowAccount]"},
  };
  for (const auto& c : cases) {
    ExpressionTranslation t;
    Error e;
    ASSERT_TRUE(translateExpression(c.jet, names(c.params), t, e)) << c.jet << ": " << e.message;
    EXPECT_EQ(t.sql, c.sqlite) << c.jet;
  }
  ExpressionTranslation t;
  Error e;
  ASSERT_TRUE(translateExpression("[x] = [Enter it]", names({"enter it"}), t, e));
  EXPECT_EQ(t.parameters, (std::vector<std::string>{"Enter it"}));
  // As a value, a truth is Jet's -1/0.
  ASSERT_TRUE(translateExpression("[x] = 1 Or Yes", {}, t, e, ExpressionUse::Value));
  EXPECT_EQ(t.sql, "-([x] = 1 OR -1)");
  ASSERT_TRUE(translateExpression("Date() + 30", {}, t, e, ExpressionUse::Value));
  EXPECT_EQ(t.sql, "kh_date() + 30");

  const std::pair<const char*, unsigned> errors[] = {
      {"Name = ", 3077}, {"Name 'abc'", 3077}, {"", 3077},         {"Foo(1)", 3085},
      {"a = \"x", 3077}, {"a = #x#", 3077},    {"a = 1; b", 3077}, {"Count(*) > 1", 3096},
  };
  for (const auto& [jet, number] : errors) {
    EXPECT_FALSE(translateExpression(jet, {}, t, e)) << jet;
    EXPECT_EQ(e.daoError, number) << jet << ": " << e.message;
  }
}

TEST(JetSql, QuotesIdentifiersAndNamesTypes) {
  EXPECT_EQ(quoteIdentifier("My Table"), "[My Table]");
  EXPECT_EQ(quoteIdentifier("a]\"b"), "\"a]\"\"b\"");
  bool counter = false;
  EXPECT_EQ(ddlTypeFromName("counter", &counter), 4);
  EXPECT_TRUE(counter);
  EXPECT_EQ(ddlTypeFromName("OLEObject", &counter), 11);
  EXPECT_FALSE(counter);
  EXPECT_EQ(ddlTypeFromName("Decimal"), 0);
  NameSet s = names({"Ärger", "t.x"});
  EXPECT_EQ(s.count("äRGER"), 1u);
  EXPECT_EQ(s.count("T.X"), 1u);
  EXPECT_EQ(s.count("t.y"), 0u);
}

}  // namespace
}  // namespace kh::store::jet
