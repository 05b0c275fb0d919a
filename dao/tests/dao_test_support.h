// Helpers of the wrapper tests: a scratch directory and a small database.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "CvDAO35.h"

namespace daotest {

inline kh::Variant I4(std::int32_t v) { return kh::Variant(v); }
inline kh::Variant Bool(bool v) { return kh::Variant::fromBool(v); }

// A fresh directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cvdao35_XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Every test gives back each wrapper it made.
class WrapperTest : public ::testing::Test {
 protected:
  void SetUp() override { liveAtStart_ = DAOLiveObjects(); }
  void TearDown() override { EXPECT_EQ(DAOLiveObjects(), liveAtStart_) << "wrappers left alive"; }

 private:
  std::int32_t liveAtStart_ = 0;
};

// A private engine, its workspace 0 and a new database (password "secret")
// with the table "Items": "ID" auto-increment Long with the primary index
// "PrimaryKey", "Name" Text 50, "Ratio" Double; rows "Item 1" .. "Item <rows>".
struct Scratch {
  explicit Scratch(const std::string& path, int rows = 0) {
    const kh::Variant& missing = DAOMissing();
    engine = std::make_unique<DAOLocalEngine>(true);
    ws = engine->GetWorkspaces()->GetItem(I4(0));
    db = ws->CreateDatabase(path, std::string(kh::dao::dbLangGeneral) + ";pwd=secret", I4(0));
    auto table = db->CreateTableDef(kh::Variant("Items"), missing, missing, missing);
    auto id = table->CreateField(kh::Variant("ID"), I4(kh::dao::dbLong), missing);
    id->SetAttributes(kh::dao::dbAutoIncrField);
    auto name = table->CreateField(kh::Variant("Name"), I4(kh::dao::dbText), I4(50));
    auto ratio = table->CreateField(kh::Variant("Ratio"), I4(kh::dao::dbDouble), missing);
    table->GetFields()->Append(*id);
    table->GetFields()->Append(*name);
    table->GetFields()->Append(*ratio);
    auto index = table->CreateIndex(kh::Variant("PrimaryKey"));
    index->SetPrimary(kh::VARIANT_TRUE);
    auto key = index->CreateField(kh::Variant("ID"), missing, missing);
    index->GetFields()->Append(*key);
    table->GetIndexes()->Append(*index);
    db->GetTableDefs()->Append(*table);
    if (rows > 0) {
      auto rs = db->OpenRecordset("Items", I4(kh::dao::dbOpenTable), missing, missing);
      for (int i = 1; i <= rows; ++i) {
        rs->AddNew();
        rs->SetCollect(kh::Variant("Name"), kh::Variant("Item " + std::to_string(i)));
        rs->Update(kh::dao::dbUpdateRegular, 0);
      }
    }
  }

  // Destroyed in reverse: database, workspace, engine.
  std::unique_ptr<DAOLocalEngine> engine;
  std::unique_ptr<DAOWorkspace> ws;
  std::unique_ptr<DAODatabase> db;
};

}  // namespace daotest
