// Filters through the exports: expressions translated into Jet criteria on
// query cursors and evaluated per record on table cursors, callbacks on both,
// activation and dropping, and malformed expression blocks.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "canexpr_builder.h"
#include "program_db.h"

namespace {

using kbetest::ProgramDb;
using B = kbetest::CanExprBuilder;
using Block = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

// The callback accepts every other record it is shown, counting calls here.
int g_calls = 0;
std::int16_t everyOther(std::uint32_t clientData, std::uint8_t* record, std::int32_t) {
  EXPECT_EQ(clientData, 77u);
  EXPECT_NE(record, nullptr);
  return (g_calls++ % 2 == 0) ? 1 : 0;
}

class Filters : public ProgramDb {
 protected:

  hDBICur table(const char* name) {
    hDBICur c = nullptr;
    EXPECT_EQ(openTable(db, name, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, &c), 0);
    cursors.push_back(c);
    return c;
  }
  hDBICur query(const char* sql) {
    hDBICur c = nullptr;
    EXPECT_EQ(qExecDirect(db, 0, sql, &c), 0);
    cursors.push_back(c);
    return c;
  }

  // Adds an expression filter and activates it; returns the handle.
  kbe::hDBIFilter filter(hDBICur c, const Block& block, kbe::DBIResult expected = 0) {
    kbe::hDBIFilter f = nullptr;
    EXPECT_EQ(addFilter(c, 0, 0, 0, block.data(), nullptr, &f), expected);
    if (f) {
      EXPECT_EQ(activateFilter(c, f), 0);
    }
    return f;
  }

  // The values of `name` over the whole cursor, from its start.
  Names all(hDBICur c, const std::string& name) {
    EXPECT_EQ(setToBegin(c), 0);
    return column(c, name);
  }

  decltype(&::DbiOpenTable) openTable = KBE_FN(engine, DbiOpenTable, 6);
  decltype(&::DbiOpenTableTypesList) openTableTypesList = KBE_FN(engine, DbiOpenTableTypesList, 84);
  decltype(&::DbiAddFilter) addFilter = KBE_FN(engine, DbiAddFilter, 840);
  decltype(&::DbiDropFilter) dropFilter = KBE_FN(engine, DbiDropFilter, 841);
  decltype(&::DbiActivateFilter) activateFilter = KBE_FN(engine, DbiActivateFilter, 842);
  decltype(&::DbiDeactivateFilter) deactivateFilter = KBE_FN(engine, DbiDeactivateFilter, 843);
};

// Name = "text" (or another comparison of a field with a string).
Block fieldVersusText(std::uint32_t op, const std::string& field, const std::string& value) {
  B b;
  return b.build(b.binary(op, b.field(field), b.text(value)));
}

TEST_F(Filters, QueryCursorMovesThroughTranslatedCriteria) {
  hDBICur c = query("select * from Groups order by Name");
  kbe::hDBIFilter misc = filter(c, fieldVersusText(B::Eq, "Name", "Misc Accounts"));
  EXPECT_EQ(all(c, "Name"), Names{"Misc Accounts"});
  // Backwards through FindLast / FindPrevious as well.
  std::vector<std::uint8_t> rec = recordBuffer(c);
  EXPECT_EQ(KBE_FN(engine, DbiSetToEnd, 14)(c), 0);
  EXPECT_EQ(KBE_FN(engine, DbiGetPriorRecord, 17)(c, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(c, fields(c).at("Name"), rec), "Misc Accounts");
  EXPECT_EQ(KBE_FN(engine, DbiGetPriorRecord, 17)(c, 0, rec.data(), nullptr), 0x2201);

  // Two active filters: both must hold. A prefix compare ignores case.
  EXPECT_EQ(deactivateFilter(c, misc), 0);
  B b;
  filter(c, b.build(b.compare(B::Eq, true, 0, b.field("Name"), b.text("web"))));
  EXPECT_EQ(all(c, "Name"), (Names{"Web Discussion Boards", "Web Subscriptions"}));
  filter(c, fieldVersusText(B::Ne, "Name", "Web Subscriptions"));
  EXPECT_EQ(all(c, "Name"), Names{"Web Discussion Boards"});
  // Deactivating every filter moves with plain moves again.
  EXPECT_EQ(deactivateFilter(c, nullptr), 0);
  EXPECT_EQ(all(c, "Name").size(), 4u);
  EXPECT_EQ(activateFilter(c, nullptr), 0);
  EXPECT_EQ(all(c, "Name"), Names{});  // Misc Accounts and the Web names exclude each other
  EXPECT_EQ(dropFilter(c, nullptr), 0);
  EXPECT_EQ(all(c, "Name").size(), 4u);
}

TEST_F(Filters, StringConstantsStayOneJetString) {
  hDBICur c = query("select * from Groups");
  for (const std::string value : {"a\"b", "\"", "x\" or \"1\"=\"1", "[Name]", "#1/1/2000#", "it's"}) {
    SCOPED_TRACE(value);
    kbe::hDBIFilter f = filter(c, fieldVersusText(B::Eq, "Name", value));
    EXPECT_EQ(all(c, "Name"), Names{});
    EXPECT_EQ(dropFilter(c, f), 0);
  }
  // A field name that cannot be written in brackets is refused.
  filter(c, fieldVersusText(B::Eq, "Na]me", "x"), 0x2742);
  EXPECT_EQ(all(c, "Name").size(), 4u);
}

TEST_F(Filters, TableCursorEvaluatesEveryOperator) {
  hDBICur c = table("Passwords");
  // Accounts in table order: Work mail (group 1, URL a), Home mail (1, b), Bank (3, c).
  const Names work = {"Work mail"}, home = {"Home mail"}, bank = {"Bank"}, mail = {"Work mail", "Home mail"},
              everyone = {"Work mail", "Home mail", "Bank"}, nobody = {};
  struct Case {
    const char* what;
    std::function<std::uint16_t(B&)> root;
    Names expected;
  };
  auto group = [](B& b, std::uint32_t op, std::int32_t v) { return b.binary(op, b.field("GroupID"), b.int32(v)); };
  const std::vector<Case> cases = {
      {"=", [&](B& b) { return group(b, B::Eq, 1); }, mail},
      {"<>", [&](B& b) { return group(b, B::Ne, 1); }, bank},
      {">", [&](B& b) { return group(b, B::Gt, 1); }, bank},
      {"<", [&](B& b) { return group(b, B::Lt, 3); }, mail},
      {">=", [&](B& b) { return group(b, B::Ge, 3); }, bank},
      {"<=", [&](B& b) { return group(b, B::Le, 1); }, mail},
      {"text case counts", [](B& b) { return b.binary(B::Eq, b.field("Description"), b.text("bank")); }, nobody},
      {"blank", [](B& b) { return b.unary(B::IsBlank, b.field("ExpireDate")); }, everyone},
      {"not blank", [](B& b) { return b.unary(B::NotBlank, b.field("ExpireDate")); }, nobody},
      {"not", [&](B& b) { return b.unary(B::Not, group(b, B::Eq, 1)); }, bank},
      {"and",
       [&](B& b) { return b.binary(B::And, group(b, B::Eq, 1), b.binary(B::Eq, b.field("URL"), b.text("b"))); },
       home},
      {"or",
       [&](B& b) { return b.binary(B::Or, group(b, B::Eq, 3), b.binary(B::Eq, b.field("URL"), b.text("a"))); },
       {"Work mail", "Bank"}},
      {"minus", [](B& b) { return b.binary(B::Eq, b.unary(B::Minus, b.field("GroupID")), b.int16(-3)); }, bank},
      {"add", [](B& b) { return b.binary(B::Eq, b.binary(B::Add, b.field("GroupID"), b.int32(1)), b.int32(4)); },
       bank},
      {"subtract",
       [](B& b) { return b.binary(B::Eq, b.binary(B::Sub, b.field("GroupID"), b.int32(1)), b.int32(0)); }, mail},
      {"multiply",
       [](B& b) { return b.binary(B::Eq, b.binary(B::Mul, b.field("GroupID"), b.int32(2)), b.real(6)); }, bank},
      {"divide", [](B& b) { return b.binary(B::Eq, b.binary(B::Div, b.field("GroupID"), b.int32(2)), b.real(0.5)); },
       mail},
      {"modulo", [](B& b) { return b.binary(B::Eq, b.binary(B::Mod, b.field("GroupID"), b.int32(2)), b.int32(1)); },
       everyone},
      {"division by zero rejects",
       [](B& b) { return b.binary(B::Eq, b.binary(B::Div, b.field("GroupID"), b.int32(0)), b.int32(1)); }, nobody},
      {"compare ignoring case",
       [](B& b) { return b.compare(B::Eq, true, 0, b.field("Description"), b.text("HOME MAIL")); }, home},
      {"compare with case", [](B& b) { return b.compare(B::Eq, false, 0, b.field("Description"), b.text("HOME MAIL")); },
       nobody},
      {"compare partial", [](B& b) { return b.compare(B::Eq, true, 4, b.field("Description"), b.text("work xyz")); },
       work},
      {"compare unequal", [](B& b) { return b.compare(B::Ne, true, 0, b.field("Description"), b.text("bank")); },
       mail},
      {"null operand rejects", [](B& b) { return b.binary(B::Eq, b.field("ExpireDate"), b.timestamp(6.3e13)); },
       nobody},
      {"null and anything", [&](B& b) { return b.binary(B::And, b.field("ExpireDate"), group(b, B::Eq, 1)); },
       nobody},
      {"unknown field is null", [](B& b) { return b.binary(B::Eq, b.field("Nope"), b.int32(1)); }, nobody},
      {"field by number", [](B& b) { return b.binary(B::Eq, b.field("ignored", 3), b.text("Bank")); }, bank},
      {"boolean constant", [](B& b) { return b.boolean(true); }, everyone},
      {"false constant", [](B& b) { return b.boolean(false); }, nobody},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    B b;
    const std::uint16_t root = k.root(b);
    kbe::hDBIFilter f = filter(c, b.build(root));
    EXPECT_EQ(all(c, "Description"), k.expected);
    EXPECT_EQ(dropFilter(c, f), 0);
  }
  EXPECT_EQ(all(c, "Description"), everyone);
}

TEST_F(Filters, CallbacksOnBothCursorKinds) {
  for (hDBICur c : {table("Passwords"), query("select * from Passwords order by PasswordID")}) {
    g_calls = 0;
    kbe::hDBIFilter f = nullptr;
    ASSERT_EQ(addFilter(c, 77, 0, 0, nullptr, everyOther, &f), 0);
    EXPECT_EQ(all(c, "Description").size(), 3u);  // added inactive
    EXPECT_EQ(g_calls, 0);
    ASSERT_EQ(activateFilter(c, f), 0);
    EXPECT_EQ(all(c, "Description"), (Names{"Work mail", "Bank"}));
    EXPECT_EQ(g_calls, 3);
    // A callback and an expression at once: both must accept.
    g_calls = 0;
    B b;
    filter(c, b.build(b.binary(B::Eq, b.field("GroupID"), b.int32(1))));
    EXPECT_EQ(all(c, "Description"), Names{"Work mail"});
    EXPECT_EQ(deactivateFilter(c, f), 0);
    EXPECT_EQ(all(c, "Description"), (Names{"Work mail", "Home mail"}));
  }
}

TEST_F(Filters, HandlesAndErrors) {
  hDBICur a = table("Groups");
  hDBICur b = query("select * from Groups");
  kbe::hDBIFilter f = nullptr;
  EXPECT_EQ(addFilter(a, 0, 0, 0, nullptr, nullptr, &f), 0x3001);
  EXPECT_EQ(addFilter(nullptr, 0, 0, 0, nullptr, everyOther, &f), 0x3001);
  hDBICur info = nullptr;
  ASSERT_EQ(openTableTypesList(nullptr, &info), 0);
  EXPECT_EQ(addFilter(info, 0, 0, 0, nullptr, everyOther, &f), 0x3001);
  EXPECT_EQ(closeCursor(&info), 0);

  ASSERT_EQ(addFilter(a, 77, 0, 0, nullptr, everyOther, &f), 0);
  EXPECT_EQ(dropFilter(b, f), 0x2742);  // a filter of another cursor
  EXPECT_EQ(activateFilter(b, f), 0x3001);
  EXPECT_EQ(dropFilter(a, f), 0);
  EXPECT_EQ(dropFilter(a, f), 0x2742);  // gone
  // Dropping all leaves no filter at work.
  g_calls = 0;
  ASSERT_EQ(addFilter(a, 77, 0, 0, nullptr, everyOther, &f), 0);
  ASSERT_EQ(activateFilter(a, nullptr), 0);
  EXPECT_EQ(dropFilter(a, nullptr), 0);
  EXPECT_EQ(all(a, "Name").size(), 4u);
  EXPECT_EQ(g_calls, 0);
}

// Blocks that lie about their sizes and offsets answer a result code and add
// no filter.
TEST_F(Filters, MalformedBlocksAreRefused) {
  hDBICur t = table("Groups");
  hDBICur q = query("select * from Groups");
  B good;
  const Block base = good.build(good.binary(B::Eq, good.field("Name"), good.text("x")));
  auto patched = [&](std::size_t at, std::uint16_t value) {
    Block b = base;
    std::memcpy(b.data() + at, &value, 2);
    return b;
  };
  const std::uint16_t nodeStart = 10, literalStart = static_cast<std::uint16_t>(base[8] | base[9] << 8);
  struct Case {
    const char* what;
    Block block;
    kbe::DBIResult rc;
  };
  std::vector<Case> cases = {
      {"total below the header", patched(2, 6), 0x2742},
      {"node start beyond the block", patched(6, 0xFFF0), 0x2742},
      {"literal start beyond the block", patched(8, 0xFFF0), 0x2742},
      {"operand beyond the block", patched(nodeStart + 8, 0x7000), 0x2742},
      {"root cut by the block end", patched(6, static_cast<std::uint16_t>(base.size() - 4)), 0x2742},
      {"operand pointing at the root", patched(nodeStart + 10, 0), 0x250A},
  };
  {
    // A field name without its terminating zero at the very end of the block.
    B b;
    Block block = b.build(b.unary(B::IsBlank, b.field("Name")));
    block.pop_back();
    const auto total = static_cast<std::uint16_t>(block.size());
    std::memcpy(block.data() + 2, &total, 2);
    cases.push_back({"unterminated name", block, 0x2742});
  }
  {
    // A string constant whose size runs past the block.
    Block block = base;
    for (std::size_t at = nodeStart; at + 14 <= literalStart; ++at) {
      std::uint32_t nodeClass;
      std::memcpy(&nodeClass, block.data() + at, 4);
      std::uint16_t type;
      std::memcpy(&type, block.data() + at + 8, 2);
      if (nodeClass == 5 && type == 1 && at != nodeStart) {
        const std::uint16_t size = 0x4000;
        std::memcpy(block.data() + at + 10, &size, 2);
        break;
      }
    }
    cases.push_back({"constant past the block", block, 0x2742});
  }
  {
    // A chain deeper than the limit.
    B b;
    std::uint16_t n = b.boolean(true);
    for (int i = 0; i < 100; ++i) n = b.unary(B::Not, n);
    cases.push_back({"too deep", b.build(n), 0x250A});
  }
  {
    // Shared operands: a tree of 2^40 visits in 40 nodes.
    B b;
    std::uint16_t n = b.boolean(true);
    for (int i = 0; i < 40; ++i) n = b.binary(B::And, n, n);
    cases.push_back({"exponential walk", b.build(n), 0x250A});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    for (hDBICur c : {t, q}) {
      kbe::hDBIFilter f = reinterpret_cast<kbe::hDBIFilter>(1);
      EXPECT_EQ(addFilter(c, 0, 0, 0, k.block.data(), nullptr, &f), k.rc);
      EXPECT_EQ(f, reinterpret_cast<kbe::hDBIFilter>(1));
    }
  }
  EXPECT_EQ(all(t, "Name").size(), 4u);
  EXPECT_EQ(activateFilter(t, nullptr), 0);
  EXPECT_EQ(all(t, "Name").size(), 4u);
}

}  // namespace
