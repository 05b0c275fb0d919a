// Recordset cursors: properties and descriptors, closing and cloning, the
// cursor properties of DbiGetProp / DbiSetProp, and the translation of field
// descriptors into the physical (Jet) field types.
#include "KBEPI32_Recordset.h"

#include <cctype>
#include <cstring>
#include <string>

#include "KBEPI32_CursorData.h"
#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"

namespace kbe::rs {

namespace {

std::string upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

constexpr std::uint32_t kPropTableType = 0x00050002;   // cursor's table type
constexpr std::uint32_t kPropUpdateLock = 0x04050000;  // update lock mode

}  // namespace

bool isRecordsetCursor(void* handle) noexcept { return cursorDataFromHandle(handle) != nullptr; }

DBIResult closeCursor(hDBICur* cursor) noexcept {
  if (!cursor) return rc::NotSupported;
  DAOQueryDef* statement = nullptr;
  DBIResult r = onCursor(*cursor, [&](TCursorData& c) {
    statement = c.statement;
    delete c.recordset;  // destroys the TCursorData with it
    return rc::OK;
  });
  if (r != rc::OK || !statement) return r;
  hDBIStmt handle = statement;
  return ::DbiQFree(&handle);
}

DBIResult getCursorProps(hDBICur cursor, CURProps* props) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!props) return rc::NotSupported;
    std::memset(props, 0, sizeof *props);
    CURProps p = c.info().props;
    const bool updatable = c.recordset->GetUpdatable() != 0;
    p.eOpenMode = updatable ? 0 : 1;
    p.bTempTable = updatable ? 0 : -1;
    p.eShareMode = 0;
    p.bIndexed = c.indexActive ? -1 : 0;
    p.bUniDirectional = 0;
    p.iFilters = 0;
    *props = p;
    return rc::OK;
  });
}

DBIResult getFieldDescs(hDBICur cursor, FLDDesc* descs) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!descs) return rc::NotSupported;
    for (const TFieldEntry& f : c.info().fields) *descs++ = f.desc;
    return rc::OK;
  });
}

DBIResult getProp(hDBIObj cursor, std::uint32_t property, void* value, std::int16_t size,
                  std::uint16_t* length) noexcept {
  return onCursor(cursor, [&](TCursorData&) {
    if (!value) return rc::NotSupported;
    if (property == kPropTableType) {
      static constexpr char kType[] = "TABLE";
      // At most 31 characters, and never beyond a buffer length the caller gave.
      std::size_t n = sizeof kType - 1;
      if (size > 0 && n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
      std::memcpy(value, kType, n);
      static_cast<char*>(value)[n] = 0;
      if (length) *length = 6;
      return rc::OK;
    }
    if (property == kPropUpdateLock) {
      if (size < 4) return rc::NotSupported;
      const std::uint32_t mode = 0;
      std::memcpy(value, &mode, sizeof mode);
      if (length) *length = 4;
      return rc::OK;
    }
    return rc::NotSupported;
  });
}

DBIResult setProp(hDBIObj cursor, std::uint32_t property, std::uintptr_t value) noexcept {
  return onCursor(cursor, [&](TCursorData&) {
    if (property == kPropUpdateLock && value <= 2) return rc::OK;
    return rc::NotSupported;
  });
}

}  // namespace kbe::rs

using namespace kbe;

KBE_API DBIResult DbiGetIndexDesc(hDBICur cursor, std::uint16_t sequence, IDXDesc* desc) {
  if (!desc) return rc::NotSupported;
  std::memset(desc, 0, sizeof *desc);
  if (!rs::isRecordsetCursor(cursor)) return rc::OK;
  return onCursor(cursor, [&](TCursorData& c) {
    if (!c.isTableCursor() || !c.indexActive) return rc::OK;
    const auto& indexes = c.info().indexes;
    if (sequence != 0) {
      if (sequence > indexes.size()) return rc::NotSupported;
      *desc = indexes[sequence - 1].desc;
      return rc::OK;
    }
    const std::string active = rs::upper(conv::ansiOf(c.recordset->GetIndex()));
    if (active.empty()) return rc::NotSupported;
    // The primary index may be reported under its renamed form.
    const std::string renamed = c.options.renamePrimary && active == "PRIMARYKEY" ? "_PRIMARYKEY" : active;
    for (const TIndexEntry& e : indexes) {
      const std::string name = rs::upper(e.desc.szName);
      if (name == active || name == renamed) {
        *desc = e.desc;
        return rc::OK;
      }
    }
    return rc::NotSupported;
  });
}

KBE_API DBIResult DbiGetIndexDescs(hDBICur cursor, IDXDesc* descs) {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!descs) return rc::NotSupported;
    for (const TIndexEntry& e : c.info().indexes) *descs++ = e.desc;
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetVchkDesc(hDBICur cursor, std::uint16_t sequence, VCHKDesc* desc) {
  if (desc) std::memset(desc, 0, sizeof *desc);
  return onCursor(cursor, [&](TCursorData& c) {
    if (!desc) return rc::NotSupported;
    TCursorInfoData& info = c.info();
    if (sequence < 1 || sequence > info.valCheckCount) return rc::NotSupported;
    std::uint32_t n = 0;
    for (const TFieldEntry& f : info.fields) {
      if (!f.required && !f.hasDefault) continue;
      if (++n != sequence) continue;
      desc->iFldNum = f.desc.iFldNum;
      desc->bRequired = f.required ? -1 : 0;
      desc->bHasDefVal = f.hasDefault ? -1 : 0;
      return rc::OK;
    }
    return rc::NotSupported;
  });
}

KBE_API DBIResult DbiCloneCursor(hDBICur cursor, BOOL16 /*readOnly*/, BOOL16 /*uniDirectional*/, hDBICur* clone) {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!clone) return rc::NotSupported;
    *clone = cloneCursor(c);
    return rc::OK;
  });
}

KBE_API DBIResult DbiTranslateRecordStructure(const char* /*sourceDriver*/, std::uint16_t count,
                                              const FLDDesc* source, const char* /*destinationDriver*/,
                                              const char* /*languageDriver*/, FLDDesc* destination,
                                              BOOL16 /*creatable*/) {
  if (count == 0) return rc::OK;
  if (!source || !destination) return rc::NotSupported;
  std::memmove(destination, source, count * sizeof(FLDDesc));
  bool untranslated = false;
  for (std::uint16_t i = 0; i < count; ++i) {
    FLDDesc& d = destination[i];
    const auto units = static_cast<std::uint16_t>(d.iUnits1);
    switch (d.iFldType) {
      case conv::fldZSTRING: d.iFldType = 1034; d.iLen = units; break;
      case conv::fldBLOB:
        d.iLen = units;
        if (d.iSubType == conv::fldstMEMO) d.iFldType = 1036;
        else if (d.iSubType == conv::fldstBINARY) d.iFldType = 1035;
        else untranslated = true;
        break;
      case conv::fldBOOL: d.iFldType = 1025; d.iLen = 0; break;
      case conv::fldINT16: d.iFldType = 1027; d.iLen = 0; break;
      case conv::fldINT32: d.iFldType = 1028; d.iLen = 0; break;
      case conv::fldFLOAT: d.iFldType = d.iSubType == conv::fldstMONEY ? 1029 : 1031; d.iLen = 0; break;
      case conv::fldBCD: d.iFldType = 1029; d.iLen = 0; break;
      case conv::fldBYTES: d.iFldType = 1033; d.iLen = units; break;
      case conv::fldDATE:
      case conv::fldTIME:
      case conv::fldTIMESTAMP: d.iFldType = 1032; break;
      default: untranslated = true; break;
    }
  }
  return untranslated ? 0x2710 : rc::OK;
}
