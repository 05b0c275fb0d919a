#include "KBEPI32_Range.h"

#include <algorithm>
#include <cfloat>
#include <string>

#include "KBEPI32_Conversions.h"
#include "KBEPI32_Log.h"

namespace kbe::range {

namespace {

using kh::Variant;

Variant position(std::uint8_t daoPosition) { return Variant(std::int32_t{daoPosition}); }

// The value of the current record at a DAO position; a failed read is null.
Variant currentValue(DAORecordset& rs, std::uint8_t daoPosition) {
  try {
    return rs.GetCollect(position(daoPosition));
  } catch (...) {
    return Variant::null();
  }
}

// The largest value of each DAO type, completing a short high bound; Empty
// for the types that pass no value.
Variant highSentinel(std::int16_t daoType) {
  switch (daoType) {
    case daotype::Boolean: return Variant::fromBool(false);  // True counts as -1, so False is the larger
    case daotype::Byte: return Variant::fromByte(255);
    case daotype::Integer: return Variant(std::int16_t{32767});
    case daotype::Long: return Variant(std::int32_t{2147483647});
    case daotype::Currency: return Variant(kh::Currency{INT64_MAX});
    case daotype::Single: return Variant(3.4e38f);
    case daotype::Double: return Variant(1.7e308);
    case daotype::Date: return Variant::fromDate(65380.0);
    case daotype::Text: return Variant(std::string("\xC3\xBF"));  // U+00FF
    default: return Variant();
  }
}

// Whether the current record passes one end of the range: the record's key
// fields (read through the snapshot positions) against the bound, field by
// field; at the last field `inclusive` lets equality pass. `low` picks the
// direction.
bool passes(TCursorData& c, const KeyValues& bound, int count, bool inclusive, bool low) {
  if (count <= 0) return true;
  try {
    const int n = std::min({count, c.rangeKeyCount, static_cast<int>(bound.size())});
    for (int i = 0; i < n; ++i) {
      int cmp = conv::compareValues(currentValue(*c.recordset, c.rangeKeyPositions[i]), bound[i], true, 0);
      if (!low) cmp = -cmp;
      if (i < n - 1) {
        if (cmp != 0) return cmp > 0;
        continue;
      }
      return inclusive ? cmp >= 0 : cmp > 0;
    }
    return true;
  } catch (...) {
    convertCurrentFailure();
    return true;
  }
}

}  // namespace

int keyFieldsGiven(const TCursorData& cursor, std::uint16_t fields, std::uint16_t partialLength) noexcept {
  int n = partialLength > 0 ? fields + 1 : (fields == 0 ? cursor.keyFieldCount : fields);
  return std::clamp(n, 0, std::min<int>(cursor.keyFieldCount, 13));
}

KeyValues keyValues(TCursorData& cursor, const std::uint8_t* key, int count) {
  KeyValues values;
  values.fill(DAOMissing());
  auto& fields = cursor.info().fields;
  for (int i = 0; i < count && i < static_cast<int>(values.size()); ++i) {
    const std::size_t entry = cursor.keyFieldEntries[i];
    if (entry >= fields.size()) throw EKBEError("Key field outside the record");
    const TFieldEntry& f = fields[entry];
    const std::uint8_t status = slotStatus(key, f);
    values[i] = (status & conv::kPresent)
                    ? conv::slotIntoValue(f.daoType, status, f.zeroLengthAllowed != 0, f.desc.iLen, slotData(key, f))
                    : Variant::null();
  }
  return values;
}

bool currentMatchesKey(TCursorData& cursor, const KeyValues& key, int count, std::uint16_t partialLength) {
  for (int i = 0; i < count && i < static_cast<int>(key.size()); ++i) {
    const Variant value = currentValue(*cursor.recordset, cursor.keyFieldPositions[i]);
    if (value.isNull() || value.isEmpty() || key[i].isNull() || key[i].isEmpty() || key[i].isMissing()) return false;
    const bool partial = partialLength > 0 && i == count - 1;
    if (conv::compareValues(value, key[i], true, partial ? partialLength : 0) != 0) return false;
  }
  return true;
}

bool acceptSeek(TCursorData& cursor, bool exact, const KeyValues& key, int count, std::uint16_t partialLength) {
  DAORecordset& rs = *cursor.recordset;
  if (rs.GetNoMatch()) return false;
  for (;;) {
    if (rs.GetEOF()) return false;
    if (exact && !currentMatchesKey(cursor, key, count, partialLength)) return false;
    if ((cursor.lowRange || cursor.highRange) && (recordBelowLowRange(cursor) || recordAboveHighRange(cursor))) {
      rs.MoveNext();
      capturePosition(cursor);
      continue;
    }
    return true;
  }
}

bool recordBelowLowRange(TCursorData& cursor) {
  return cursor.lowRange && !passes(cursor, cursor.lowKey, cursor.lowKeyCount, cursor.lowInclusive, true);
}

bool recordAboveHighRange(TCursorData& cursor) {
  return cursor.highRange && !passes(cursor, cursor.highKey, cursor.highKeyCount, cursor.highInclusive, false);
}

void setToLowRange(TCursorData& cursor) {
  DAORecordset& rs = *cursor.recordset;
  rs.Seek(cursor.lowInclusive ? ">=" : ">", cursor.lowKey);
  if (!rs.GetNoMatch()) {
    tolerantMove([&] { rs.MovePrevious(); });
  } else if (!(rs.GetBOF() && rs.GetEOF())) {
    tolerantMove([&] { rs._30_MoveLast(); });
  }
  capturePosition(cursor);
}

void setToHighRange(TCursorData& cursor) {
  DAORecordset& rs = *cursor.recordset;
  KeyValues key = cursor.highKey;
  auto& fields = cursor.info().fields;
  const int keyCount = std::min<int>(cursor.rangeKeyCount, static_cast<int>(key.size()));
  for (int i = std::max<int>(cursor.highKeyCount, 0); i < keyCount; ++i) {
    const std::size_t entry = cursor.keyFieldEntries[i];
    const Variant sentinel = entry < fields.size() ? highSentinel(fields[entry].daoType) : Variant();
    key[i] = sentinel.isEmpty() ? DAOMissing() : sentinel;
  }
  rs.Seek(cursor.highInclusive ? "<=" : "<", key);
  if (!rs.GetNoMatch()) {
    while (!rs.GetEOF() && !recordAboveHighRange(cursor)) rs.MoveNext();
  } else if (!(rs.GetBOF() && rs.GetEOF())) {
    tolerantMove([&] { rs.MoveFirst(); });
  }
  capturePosition(cursor);
}

void reset(TCursorData& cursor) noexcept {
  cursor.lowRange = cursor.highRange = false;
  cursor.lowKeyCount = cursor.highKeyCount = 0;
  cursor.lowKey.fill(DAOMissing());
  cursor.highKey.fill(DAOMissing());
}

}  // namespace kbe::range
