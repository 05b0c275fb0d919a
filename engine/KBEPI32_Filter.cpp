// Filters of recordset cursors. A filter is a callback or an expression
// block. On a query cursor an expression becomes Jet criteria text, and
// navigation moves with the DAO Find methods; on a table cursor (which has no
// Find) a checked copy of the block is evaluated over every record, as
// callbacks are on both kinds of cursor (KBEPI32_CursorData.h, the filtered
// read).
#include <memory>
#include <string>
#include <vector>

#include "KBEPI32_CanExpr.h"
#include "KBEPI32_CursorData.h"
#include "KBEPI32_Log.h"
#include "kbe/kbe.h"

namespace kbe {
namespace {

// The filter `handle` in the cursor's list, or null.
aFilter* findFilter(TCursorData& c, hDBIFilter handle) noexcept {
  for (aFilter* f = c.filters; f; f = f->next)
    if (f == handle) return f;
  return nullptr;
}

bool recordLevel(const aFilter& f) noexcept { return f.callback || !f.expression.empty(); }

// The criteria of the active translated filters, newest first:
// "(first) and (second)" and so on.
void rebuildCriteria(TCursorData& c) {
  std::string text;
  bool first = true;
  for (const aFilter* f = c.filters; f; f = f->next) {
    if (!f->active || recordLevel(*f) || f->criteria.empty()) continue;
    text = first ? f->criteria : "(" + text + ") and (" + f->criteria + ")";
    first = false;
  }
  c.criteria = std::move(text);
}

// Activates or deactivates one filter (or all of them for a null handle).
DBIResult setActive(TCursorData& c, hDBIFilter handle, bool on) {
  if (handle) {
    aFilter* f = findFilter(c, handle);
    if (!f) return rc::NotSupported;
    if ((f->active != 0) != on) {
      f->active = on ? 1 : 0;
      const int delta = on ? 1 : -1;
      c.activeFilters += delta;
      if (recordLevel(*f)) c.activeRecordFilters += delta;
    }
  } else {
    c.activeFilters = c.activeRecordFilters = 0;
    for (aFilter* f = c.filters; f; f = f->next) {
      f->active = on ? 1 : 0;
      if (!on) continue;
      ++c.activeFilters;
      if (recordLevel(*f)) ++c.activeRecordFilters;
    }
  }
  rebuildCriteria(c);
  return rc::OK;
}

}  // namespace
}  // namespace kbe

using namespace kbe;

KBE_API DBIResult DbiAddFilter(hDBICur cursor, std::uint32_t clientData, std::uint16_t /*priority*/,
                               BOOL16 /*canAbort*/, const void* expression, FilterCallback callback,
                               hDBIFilter* filter) {
  return onCursor(cursor, [&](TCursorData& c) -> DBIResult {
    if (!expression && !callback) return rc::NotSupported;
    auto f = std::make_unique<aFilter>();
    f->clientData = clientData;
    if (callback) {
      f->callback = callback;
    } else {
      // The caller's block is read once, as long as its header says, and
      // used only through the checked copy from then on.
      const auto* bytes = static_cast<const std::uint8_t*>(expression);
      std::vector<std::uint8_t> copy(bytes, bytes + canexpr::blockSize(expression));
      const DBIResult checked = canexpr::check(copy.data(), copy.size());
      if (checked != rc::OK) {
        logLine("DbiAddFilter: malformed filter expression");
        return checked;
      }
      if (c.isTableCursor()) {
        f->expression = std::move(copy);
      } else {
        try {
          f->criteria = canexpr::criteria(copy);
        } catch (...) {
          convertCurrentFailure();
          return rc::InvalidFilter;
        }
      }
    }
    f->next = c.filters;
    c.filters = f.release();
    if (filter) *filter = c.filters;
    return rc::OK;
  });
}

KBE_API DBIResult DbiActivateFilter(hDBICur cursor, hDBIFilter filter) {
  return onCursor(cursor, [&](TCursorData& c) { return setActive(c, filter, true); });
}

KBE_API DBIResult DbiDeactivateFilter(hDBICur cursor, hDBIFilter filter) {
  return onCursor(cursor, [&](TCursorData& c) { return setActive(c, filter, false); });
}

KBE_API DBIResult DbiDropFilter(hDBICur cursor, hDBIFilter filter) {
  return onCursor(cursor, [&](TCursorData& c) -> DBIResult {
    if (filter) {
      aFilter* f = findFilter(c, filter);
      if (!f) return rc::InvalidFilter;
      setActive(c, f, false);
      for (aFilter** link = &c.filters; *link; link = &(*link)->next) {
        if (*link == f) {
          *link = f->next;
          break;
        }
      }
      delete f;
      return rc::OK;
    }
    setActive(c, nullptr, false);
    while (c.filters) {
      aFilter* next = c.filters->next;
      delete c.filters;
      c.filters = next;
    }
    return rc::OK;
  });
}
