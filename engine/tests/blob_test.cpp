// Blob fields through the engine: the account notes (a memo) read, written
// back by modify and insert, sized in Windows-1252 bytes; long binary values;
// the blob calls' error codes and stale slot values.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "program_db.h"

namespace {

using kbetest::kHomeNotesAnsi;
using kbetest::kWorkNotes;
using kbetest::ProgramDb;
using Bytes = std::vector<std::uint8_t>;

class Blobs : public ProgramDb {
 protected:
  void TearDown() override {
    if (cursor) closeTestCursor();
    ProgramDb::TearDown();
  }

  // Opens the accounts of group 1 (Home mail, Work mail) on `on`.
  void openAccounts(hDBIDb on = nullptr) {
    ASSERT_EQ(qExecDirect(on ? on : db, 0, "select * from passwords where GroupID = 1 order by Description", &cursor),
              0);
    f = fields(cursor);
    notes = f.at("Notes");
    record = recordBuffer(cursor);
  }

  // The whole blob of `field` in `buffer` (opened read-only, then freed).
  std::string readBlob(std::vector<std::uint8_t>& buffer, const kbe::FLDDesc& field) {
    EXPECT_EQ(openBlob(cursor, buffer.data(), field.iFldNum, 1), 0);
    std::uint32_t size = 0;
    EXPECT_EQ(getBlobSize(cursor, buffer.data(), field.iFldNum, &size), 0);
    std::string value(size, '\0');
    std::uint32_t read = 0;
    EXPECT_EQ(getBlob(cursor, buffer.data(), field.iFldNum, 0, size, reinterpret_cast<std::uint8_t*>(value.data()),
                      &read),
              0);
    EXPECT_EQ(read, size);
    EXPECT_EQ(freeBlob(cursor, buffer.data(), field.iFldNum), 0);
    return value;
  }

  // The notes of an account, read again through a new query.
  std::string storedNotes(const std::string& description) {
    hDBICur saved = cursor;
    EXPECT_EQ(qExecDirect(db, 0, ("select * from passwords where Description = '" + description + "'").c_str(),
                          &cursor),
              0);
    std::vector<std::uint8_t> buffer = recordBuffer(cursor);
    std::string value = "<no record>";
    if (getNext(cursor, 0, buffer.data(), nullptr) == 0) value = readBlob(buffer, fields(cursor).at("Notes"));
    closeTestCursor();
    cursor = saved;
    return value;
  }

  std::string sqlValue(const std::string& sql, const std::string& column) {
    const std::vector<std::string> values = select(sql, column);
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " rows>";
  }

  // Closes the test's cursor (the close leaves the handle variable as it was).
  void closeTestCursor() {
    EXPECT_EQ(closeCursor(&cursor), 0);
    cursor = nullptr;
  }

  // Puts a text into a string field (the field takes iLen bytes from the value).
  void putText(std::vector<std::uint8_t>& buffer, const kbe::FLDDesc& field, const std::string& value) {
    std::vector<char> slot(field.iLen, '\0');
    std::memcpy(slot.data(), value.data(), std::min<std::size_t>(value.size(), field.iLen - 1u));
    EXPECT_EQ(putField(cursor, field.iFldNum, buffer.data(), slot.data()), 0);
  }

  hDBICur cursor = nullptr;
  std::map<std::string, kbe::FLDDesc> f;
  kbe::FLDDesc notes{};
  std::vector<std::uint8_t> record;
};

TEST_F(Blobs, NotesReadInWindows1252BytesWithEndOfBlob) {
  openAccounts();
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);  // Home mail: "café"
  EXPECT_EQ(readBlob(record, notes), kHomeNotesAnsi);
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);  // Work mail: 40 bytes
  ASSERT_EQ(kWorkNotes.size(), 40u);
  ASSERT_EQ(openBlob(cursor, record.data(), notes.iFldNum, 1), 0);

  struct Case {
    std::uint32_t offset, length, read;
    kbe::DBIResult rc;
  };
  for (const Case& c : {Case{0, 100, 40, 0x2207}, Case{0, 40, 40, 0}, Case{30, 5, 5, 0}, Case{35, 10, 5, 0x2207},
                        Case{40, 10, 0, 0x2207}, Case{40, 0, 0, 0}, Case{1000, 1, 0, 0x2207}}) {
    SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
    Bytes out(100, 0xEE);
    std::uint32_t read = 0xFFFF;
    EXPECT_EQ(getBlob(cursor, record.data(), notes.iFldNum, c.offset, c.length, out.data(), &read), c.rc);
    EXPECT_EQ(read, c.read);
    EXPECT_EQ(std::string(out.begin(), out.begin() + c.read),
              kWorkNotes.substr(std::min<std::size_t>(c.offset, 40), c.read));
    EXPECT_EQ(out[c.read], 0xEE);  // nothing beyond what was read
  }
  // The count read may be left out.
  Bytes out(4);
  EXPECT_EQ(getBlob(cursor, record.data(), notes.iFldNum, 0, 4, out.data(), nullptr), 0);
  EXPECT_EQ(freeBlob(cursor, record.data(), notes.iFldNum), 0);

  // The blank test of a memo field, open or not.
  std::int32_t blank = 7;
  EXPECT_EQ(getField(cursor, notes.iFldNum, record.data(), nullptr, &blank), 0);
  EXPECT_EQ(blank, 0);
}

TEST_F(Blobs, ErrorCodesAndStaleSlotValues) {
  openAccounts();
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  const std::uint16_t n = notes.iFldNum;
  const kbe::FLDDesc description = f.at("Description");
  std::uint32_t size = 0;
  Bytes out(8);
  auto calls = [&](std::uint16_t field) {
    return std::vector<kbe::DBIResult>{
        getBlobSize(cursor, record.data(), field, &size),
        getBlob(cursor, record.data(), field, 0, 4, out.data(), nullptr),
        putBlob(cursor, record.data(), field, 0, 1, out.data()),
        truncateBlob(cursor, record.data(), field, 1),
        freeBlob(cursor, record.data(), field),
    };
  };
  // Not a blob: a Text field, field 0, a field past the last.
  for (std::uint16_t field : {description.iFldNum, std::uint16_t{0}, std::uint16_t{12}}) {
    SCOPED_TRACE(field);
    EXPECT_EQ(openBlob(cursor, record.data(), field, 0), 0x2A01);
    for (kbe::DBIResult rc : calls(field)) EXPECT_EQ(rc, 0x2A01);
  }
  // Not opened.
  for (kbe::DBIResult rc : calls(n)) EXPECT_EQ(rc, 0x2A03);
  // Already opened.
  ASSERT_EQ(openBlob(cursor, record.data(), n, 1), 0);
  EXPECT_EQ(openBlob(cursor, record.data(), n, 0), 0x2A02);
  // No recordset cursor.
  EXPECT_EQ(getBlobSize(nullptr, record.data(), n, &size), 0x3001);
  EXPECT_EQ(openBlob(db, record.data(), n, 0), 0x3001);

  // The slot holds an identifier: after the free, the old value, a made-up
  // one and a copy in another buffer resolve to no blob.
  std::uint32_t id = 0;
  std::memcpy(&id, record.data() + notes.iOffset, 4);
  EXPECT_NE(id, 0u);
  std::vector<std::uint8_t> copy = record;
  ASSERT_EQ(freeBlob(cursor, record.data(), n), 0);
  std::uint32_t zero = 1;
  std::memcpy(&zero, record.data() + notes.iOffset, 4);
  EXPECT_EQ(zero, 0u);
  for (std::uint32_t value : {id, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(value);
    std::memcpy(record.data() + notes.iOffset, &value, 4);
    EXPECT_EQ(getBlobSize(cursor, record.data(), n, &size), 0x2A03);
    EXPECT_EQ(getBlob(cursor, record.data(), n, 0, 4, out.data(), nullptr), 0x2A03);
    EXPECT_EQ(freeBlob(cursor, record.data(), n), 0x2A03);
  }
  EXPECT_EQ(getBlobSize(cursor, copy.data(), n, &size), 0x2A03);
  // A stale value in the slot does not stop a new open.
  ASSERT_EQ(openBlob(cursor, record.data(), n, 1), 0);
  EXPECT_EQ(getBlobSize(cursor, record.data(), n, &size), 0);
  EXPECT_EQ(size, kHomeNotesAnsi.size());
  // A blob belongs to the cursor it was opened through.
  hDBICur other = nullptr;
  ASSERT_EQ(qExecDirect(db, 0, "select * from passwords where GroupID = 1 order by Description", &other), 0);
  EXPECT_EQ(getBlobSize(other, record.data(), n, &size), 0x2A03);
  EXPECT_EQ(closeCursor(&other), 0);
  EXPECT_EQ(freeBlob(cursor, record.data(), n), 0);
  // A blob left open goes with its cursor's close.
  ASSERT_EQ(openBlob(cursor, record.data(), n, 0), 0);
}

// The program's way of saving notes: a read-write blob, put, then modify.
TEST_F(Blobs, NotesWrittenBackByModifyAndInsert) {
  openAccounts();
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);  // Home mail
  ASSERT_EQ(openBlob(cursor, record.data(), notes.iFldNum, 0), 0);
  const std::string changed = "na\xEFve notes";  // Windows-1252 "naïve notes"
  ASSERT_EQ(truncateBlob(cursor, record.data(), notes.iFldNum, 0), 0);
  ASSERT_EQ(putBlob(cursor, record.data(), notes.iFldNum, 0, static_cast<std::uint32_t>(changed.size()),
                    reinterpret_cast<const std::uint8_t*>(changed.data())),
            0);
  std::uint32_t size = 0;
  EXPECT_EQ(getBlobSize(cursor, record.data(), notes.iFldNum, &size), 0);
  EXPECT_EQ(size, changed.size());
  ASSERT_EQ(modifyRecord(cursor, record.data(), -1), 0);
  EXPECT_EQ(freeBlob(cursor, record.data(), notes.iFldNum), 0);
  EXPECT_EQ(storedNotes("Home mail"), changed);
  EXPECT_EQ(sqlValue("select Description from passwords where Notes = '" + changed + "'", "Description"),
            "Home mail");

  // A blob opened read-only and never written leaves the field alone.
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);  // Work mail
  ASSERT_EQ(openBlob(cursor, record.data(), notes.iFldNum, 1), 0);
  const kbe::FLDDesc url = f.at("URL");
  putText(record, url, "new url");
  ASSERT_EQ(modifyRecord(cursor, record.data(), -1), 0);
  EXPECT_EQ(freeBlob(cursor, record.data(), notes.iFldNum), 0);
  EXPECT_EQ(storedNotes("Work mail"), kWorkNotes);
  EXPECT_EQ(sqlValue("select URL from passwords where Description = 'Work mail'", "URL"), "new url");

  // Insert: a new buffer has no record, so its blob starts empty; a put past
  // the end fills the gap.
  std::vector<std::uint8_t> fresh = recordBuffer(cursor);
  ASSERT_EQ(initRecord(cursor, fresh.data()), 0);
  const std::int32_t group = 1;
  ASSERT_EQ(putField(cursor, f.at("GroupID").iFldNum, fresh.data(), &group), 0);
  putText(fresh, f.at("Description"), "Added");
  ASSERT_EQ(openBlob(cursor, fresh.data(), notes.iFldNum, 0), 0);
  EXPECT_EQ(getBlobSize(cursor, fresh.data(), notes.iFldNum, &size), 0);
  EXPECT_EQ(size, 0u);
  ASSERT_EQ(putBlob(cursor, fresh.data(), notes.iFldNum, 10, 5, reinterpret_cast<const std::uint8_t*>("added")), 0);
  EXPECT_EQ(getBlobSize(cursor, fresh.data(), notes.iFldNum, &size), 0);
  EXPECT_EQ(size, 15u);
  ASSERT_EQ(putBlob(cursor, fresh.data(), notes.iFldNum, 0, 10, reinterpret_cast<const std::uint8_t*>("Notes are ")),
            0);
  ASSERT_EQ(insertRecord(cursor, 0, fresh.data()), 0);
  EXPECT_EQ(freeBlob(cursor, fresh.data(), notes.iFldNum), 0);
  EXPECT_EQ(storedNotes("Added"), "Notes are added");
}

// Truncating to nothing stores the empty string only where the field takes
// zero-length strings and "USE ALLOWZEROLENGTH" is on; otherwise Null.
TEST_F(Blobs, TruncateToNothingHonoursZeroLength) {
  struct Case {
    const char* what;
    const char* useZeroLength;
    const char* expected;  // what the stored notes compare as
  };
  for (const Case& c : {Case{"without the option", "FALSE", "null"}, Case{"with the option", "TRUE", "empty"}}) {
    SCOPED_TRACE(c.what);
    hDBIDb other = openAlias(aliasName(c.useZeroLength), {{"USE ALLOWZEROLENGTH", c.useZeroLength}});
    ASSERT_NO_FATAL_FAILURE(openAccounts(other));
    ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);  // Home mail
    ASSERT_EQ(openBlob(cursor, record.data(), notes.iFldNum, 0), 0);
    ASSERT_EQ(truncateBlob(cursor, record.data(), notes.iFldNum, 0), 0);
    std::int32_t blank = 0;
    EXPECT_EQ(getField(cursor, notes.iFldNum, record.data(), nullptr, &blank), 0);
    EXPECT_EQ(blank, -1);
    ASSERT_EQ(modifyRecord(cursor, record.data(), -1), 0);
    EXPECT_EQ(freeBlob(cursor, record.data(), notes.iFldNum), 0);
    closeTestCursor();
    EXPECT_EQ(sqlValue("select iif(Notes is null, 'null', iif(Notes = '', 'empty', Notes)) as What from passwords "
                       "where Description = 'Home mail'",
                       "What"),
              c.expected);
    ASSERT_EQ(qExecDirect(db, 0, ("update passwords set Notes = '" + kHomeNotesAnsi +
                                  "' where Description = 'Home mail'")
                                     .c_str(),
                          nullptr),
              0);
  }
}

// A buffer read before the cursor moved on reads its own record's notes.
TEST_F(Blobs, BufferOfAnEarlierRecordReadsThatRecord) {
  openAccounts();
  std::vector<std::uint8_t> home = recordBuffer(cursor);
  ASSERT_EQ(getNext(cursor, 0, home.data(), nullptr), 0);  // Home mail
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);  // Work mail; the cursor stands here
  EXPECT_EQ(readBlob(home, notes), kHomeNotesAnsi);
  EXPECT_EQ(readBlob(record, notes), kWorkNotes);
  // A buffer without a record has an empty, null blob.
  std::vector<std::uint8_t> fresh = recordBuffer(cursor);
  ASSERT_EQ(initRecord(cursor, fresh.data()), 0);
  EXPECT_EQ(readBlob(fresh, notes), "");
}

// Forward-only cursors take no bookmarks: the buffer of the record the
// cursor stands on still reads its notes.
TEST_F(Blobs, ForwardOnlyCursorReadsTheCurrentNotes) {
  hDBIStmt s = prepare("select * from passwords where GroupID = 1 order by Description");
  ASSERT_EQ(setProp(s, 0x00060010, 1), 0);
  ASSERT_EQ(qExec(s, &cursor), 0);
  EXPECT_EQ(qFree(&s), 0);
  notes = fields(cursor).at("Notes");
  record = recordBuffer(cursor);
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  EXPECT_EQ(readBlob(record, notes), kHomeNotesAnsi);
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  EXPECT_EQ(readBlob(record, notes), kWorkNotes);
}

TEST_F(Blobs, LongBinaryValuesRoundTrip) {
  ASSERT_EQ(qExecDirect(db, 0, "select * from Files", &cursor), 0);
  f = fields(cursor);
  const kbe::FLDDesc data = f.at("Data");
  EXPECT_EQ(std::uint16_t{data.iFldType}, 3);   // fldBLOB
  EXPECT_EQ(std::uint16_t{data.iSubType}, 23);  // fldstBINARY
  record = recordBuffer(cursor);
  ASSERT_EQ(initRecord(cursor, record.data()), 0);
  putText(record, f.at("Title"), "bytes");
  ASSERT_EQ(openBlob(cursor, record.data(), data.iFldNum, 0), 0);
  const Bytes value = {0x00, 0x01, 0xFF, 0x00, 0x80};
  ASSERT_EQ(putBlob(cursor, record.data(), data.iFldNum, 0, 5, value.data()), 0);
  ASSERT_EQ(truncateBlob(cursor, record.data(), data.iFldNum, 4), 0);
  ASSERT_EQ(insertRecord(cursor, 0, record.data()), 0);
  EXPECT_EQ(freeBlob(cursor, record.data(), data.iFldNum), 0);
  closeTestCursor();

  ASSERT_EQ(qExecDirect(db, 0, "select * from Files where Title = 'bytes'", &cursor), 0);
  record = recordBuffer(cursor);
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  ASSERT_EQ(openBlob(cursor, record.data(), data.iFldNum, 1), 0);
  std::uint32_t size = 0;
  EXPECT_EQ(getBlobSize(cursor, record.data(), data.iFldNum, &size), 0);
  EXPECT_EQ(size, 4u);
  Bytes out(8, 0xEE);
  std::uint32_t read = 0;
  EXPECT_EQ(getBlob(cursor, record.data(), data.iFldNum, 1, 8, out.data(), &read), 0x2207);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{0x01, 0xFF, 0x00}));
  EXPECT_EQ(freeBlob(cursor, record.data(), data.iFldNum), 0);
}

}  // namespace
