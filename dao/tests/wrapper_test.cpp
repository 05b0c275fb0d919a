// Mechanics shared by both builds of the wrappers: construction, ownership,
// collection caching, the floating-point bracket and the layer's own state.
#include <cfenv>
#include <functional>
#include <vector>

#include "dao_test_support.h"

namespace {

using daotest::I4;
using daotest::Scratch;
using daotest::TempDir;
using daotest::WrapperTest;
using kh::Variant;

TEST_F(WrapperTest, CollectionMembersHandOutOneCachedWrapperPerOwner) {
  TempDir dir;
  Scratch s(dir.file("cache.pdb"));
  std::int32_t live = DAOLiveObjects();

  DAOTableDefs* tableDefs = s.db->GetTableDefs();
  EXPECT_EQ(s.db->GetTableDefs(), tableDefs);
  EXPECT_EQ(tableDefs->ParentWrapper(), s.db.get());
  EXPECT_EQ(DAOLiveObjects(), live);  // made while the database was filled

  auto table = tableDefs->GetItem(Variant("Items"));
  EXPECT_EQ(table->ParentWrapper(), tableDefs);
  DAOFields* fields = table->GetFields();
  EXPECT_EQ(table->GetFields(), fields);
  EXPECT_EQ(table->GetIndexes(), table->GetIndexes());
  auto index = table->GetIndexes()->GetItem(Variant("PrimaryKey"));
  DAOIndexFields* indexFields = index->GetFields();  // handed over by DAO as a variant
  EXPECT_EQ(index->GetFields(), indexFields);
  EXPECT_EQ(indexFields->ParentWrapper(), index.get());
  EXPECT_EQ(indexFields->GetCount(), 1);
  EXPECT_EQ(DAOLiveObjects(), live + 5);  // table, fields, indexes, index, index fields

  // Each lookup is a new wrapper with collections of its own.
  auto again = tableDefs->GetItem(Variant("Items"));
  EXPECT_NE(again.get(), table.get());
  EXPECT_NE(again->GetFields(), fields);
  EXPECT_EQ(again->GetFields()->GetCount(), 3);
}

TEST_F(WrapperTest, DestroyingARecordsetTakesItsFieldsButNotTheItemsCallersHold) {
  TempDir dir;
  Scratch s(dir.file("items.pdb"), 2);
  std::int32_t live = DAOLiveObjects();

  auto rs = s.db->OpenRecordset("Items", I4(kh::dao::dbOpenTable), DAOMissing(), DAOMissing());
  {
    auto database = rs->GetParent();
    EXPECT_EQ(database->ParentWrapper(), rs.get());
    EXPECT_EQ(database->GetTableDefs()->GetCount(), s.db->GetTableDefs()->GetCount());
  }
  DAOFields* fields = rs->GetFields();
  EXPECT_EQ(fields->ParentWrapper(), rs.get());
  auto name = fields->GetItem(Variant("Name"));
  EXPECT_EQ(name->ParentWrapper(), fields);
  EXPECT_EQ(DAOLiveObjects(), live + 3);

  rs.reset();
  EXPECT_EQ(DAOLiveObjects(), live + 1);  // the recordset and its fields collection
  EXPECT_EQ(name->GetName(), "Name");     // the caller's item still works
  EXPECT_EQ(name->GetType(), kh::dao::dbText);
  name.reset();
  EXPECT_EQ(DAOLiveObjects(), live);
}

TEST_F(WrapperTest, ConstructorsFromVariantsRefuseWhatIsNoDispatchOfTheirKind) {
  TempDir dir;
  Scratch s(dir.file("conv.pdb"));
  DAODatabase& db = *s.db;
  struct Case {
    const char* what;
    std::function<void()> construct;
    const char* message;
  };
  const char* variantMessage = "Variant is not of type VT_Dispatch";
  const char* automationMessage = "Automation object is not of type varDispatch";
  const std::vector<Case> cases = {
      {"string, with parent", [&] { DAOTableDefs w(&db, Variant("TableDefs")); }, variantMessage},
      {"empty, with parent", [&] { DAOTableDefs w(&db, Variant()); }, variantMessage},
      {"null dispatch, with parent", [&] { DAOTableDefs w(&db, Variant::fromDispatch(nullptr)); }, variantMessage},
      {"object of another kind, with parent", [&] { DAOTableDefs w(&db, Variant::fromDispatch(db.Dispatch())); },
       variantMessage},
      {"string, automation", [&] { DAOTableDefs w(Variant("TableDefs")); }, automationMessage},
      {"integer, automation", [&] { DAOField w(I4(9)); }, automationMessage},
      {"object of another kind, automation", [&] { DAOField w(Variant::fromDispatch(db.GetTableDefs()->Dispatch())); },
       automationMessage},
  };
  db.GetTableDefs();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::int32_t live = DAOLiveObjects();
    try {
      c.construct();
      ADD_FAILURE() << "constructed";
    } catch (const EDAOConvError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(DAOLiveObjects(), live);  // a failed construction leaves nothing behind
  }
}

TEST_F(WrapperTest, ConstructorsFromDispatchVariantsWrapTheObject) {
  TempDir dir;
  Scratch s(dir.file("wrap.pdb"));
  DAOTableDefs* tableDefs = s.db->GetTableDefs();
  Variant object = Variant::fromDispatch(tableDefs->Dispatch());

  DAOTableDefs withParent(s.db.get(), object);
  EXPECT_EQ(withParent.ParentWrapper(), s.db.get());
  EXPECT_EQ(withParent.Dispatch(), tableDefs->Dispatch());
  EXPECT_EQ(withParent.GetItem(Variant("Items"))->GetName(), "Items");

  DAOTableDefs automation(object);
  EXPECT_EQ(automation.ParentWrapper(), nullptr);
  EXPECT_EQ(automation.GetCount(), tableDefs->GetCount());
}

TEST_F(WrapperTest, SecondWrapperSharesTheObjectAndParentButNothingOwned) {
  TempDir dir;
  Scratch s(dir.file("second.pdb"), 3);
  struct Tag : DAOUserData {};
  auto first = s.db->OpenRecordset("Items", I4(kh::dao::dbOpenDynaset), DAOMissing(), DAOMissing());
  first->SetUserData(std::make_unique<Tag>());
  DAOFields* firstFields = first->GetFields();
  std::int32_t live = DAOLiveObjects();

  auto second = std::make_unique<DAORecordset>(*first);
  EXPECT_EQ(DAOLiveObjects(), live + 1);
  EXPECT_EQ(second->Dispatch(), first->Dispatch());
  EXPECT_EQ(second->ParentWrapper(), s.db.get());
  EXPECT_EQ(second->UserData(), nullptr);
  EXPECT_NE(second->GetFields(), firstFields);

  // One DAO object: moving through one wrapper moves the other.
  first->MoveFirst();
  first->MoveNext();
  EXPECT_EQ(second->GetCollect(Variant("Name")).str(), "Item 2");
  first.reset();
  second->MoveNext();
  EXPECT_EQ(second->GetCollect(Variant("Name")).str(), "Item 3");
}

TEST_F(WrapperTest, DestructionTakesCollectionsThenUserDataThenTheObject) {
  TempDir dir;
  Scratch s(dir.file("order.pdb"));
  struct Probe : DAOUserData {
    Probe(DAOBase* owner, std::int32_t* liveSeen, bool* objectHeld)
        : owner(owner), liveSeen(liveSeen), objectHeld(objectHeld) {}
    ~Probe() override {
      *liveSeen = DAOLiveObjects();
      *objectHeld = owner->Dispatch() != nullptr;
    }
    DAOBase* owner;
    std::int32_t* liveSeen;
    bool* objectHeld;
  };
  std::int32_t live = DAOLiveObjects();
  std::int32_t liveSeen = -1;
  bool objectHeld = false;
  auto table = s.db->GetTableDefs()->GetItem(Variant("Items"));
  table->GetFields();
  table->GetIndexes();
  table->SetUserData(std::make_unique<Probe>(table.get(), &liveSeen, &objectHeld));
  EXPECT_EQ(DAOLiveObjects(), live + 3);
  table.reset();
  EXPECT_EQ(liveSeen, live + 1);  // collections gone, the table wrapper still counted
  EXPECT_TRUE(objectHeld);        // and still holding its object
  EXPECT_EQ(DAOLiveObjects(), live);
}

TEST_F(WrapperTest, DAOCallsRunInTheirOwnFloatingPointEnvironment) {
  TempDir dir;
  Scratch s(dir.file("fenv.pdb"), 1);
  struct RoundingGuard {
    ~RoundingGuard() { std::fesetround(FE_TONEAREST); }
  } guard;
  volatile double one = 1.0, three = 3.0;
  const double nearest = one / three;  // the rounding of the environment at load
  ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
  ASSERT_NE(one / three, nearest);

  // The store divides on DAO's side, with the environment captured at load.
  s.db->Execute("UPDATE Items SET Ratio = 1.0/3.0", DAOMissing());
  EXPECT_EQ(std::fegetround(), FE_UPWARD);
  auto rs = s.db->OpenRecordset("Items", I4(kh::dao::dbOpenTable), DAOMissing(), DAOMissing());
  EXPECT_THROW(rs->GetCollect(Variant("Nothing")), EDAOError);
  EXPECT_EQ(std::fegetround(), FE_UPWARD);  // also after a failed call
  Variant ratio = rs->GetCollect(Variant("Ratio"));
  ASSERT_EQ(ratio.type(), kh::VT_R8) << ratio.toString();
  EXPECT_EQ(ratio.r8(), nearest);
}

TEST_F(WrapperTest, WrapperWithoutObjectFailsItsMembersCleanly) {
  DAOTableDefs nothing(nullptr, static_cast<kh::dao::TableDefs*>(nullptr));
  try {
    nothing.GetCount();
    ADD_FAILURE() << "no failure";
  } catch (const EDAOError& e) {
    EXPECT_EQ(e.errorCode(), kh::E_POINTER);
    EXPECT_EQ(e.message().rfind("DAOCollection.GetCount failed", 0), 0u) << e.message();
  }
}

TEST_F(WrapperTest, LayerStateAndLeakReport) {
  EXPECT_TRUE(DAOMissing().isMissing());
  EXPECT_EQ(DAOMissing().scode(), kh::DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(DAOLeakReport(12), "There are still 12 objects allocated.");

  ASSERT_EQ(DAOLiveObjects(), 0) << "an earlier test left wrappers alive";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(DAOReportLeaks());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  DAOLocalEngine engine(true);
  EXPECT_EQ(DAOLiveObjects(), 1);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(DAOReportLeaks());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DAO: There are still 1 objects allocated.\n");
}

}  // namespace
