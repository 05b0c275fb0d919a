// The data-access layer of keyhaven: a small data-set framework over the
// engine binding (Bde), in the classic shape the windows expect.
//
//  - TSession: the one engine session of the process. The first connect
//    starts it (DbiInitFn with version 400 and the language "0009"); Close
//    (at shutdown) ends it with DbiExit.
//  - TDatabase: a connection by alias ("kh"). Before every connect it hands
//    its parameters ("CONNECT=;PWD=...") to the engine as a session-only
//    definition of the alias (DbiAddAlias, entries NAME:"VALUE"), then opens
//    the alias (DbiOpenDatabase); a failed open takes the definition back
//    (DbiDeleteAlias). Disconnecting closes every data set on it first.
//  - TQuery: an SQL statement with :name parameters, live (editable) or
//    read-only, read through an engine cursor into record buffers.
//  - TField: a column of the current record, by name (case-insensitive).
//  - TDataSource: the notifications controls and other data sets listen to,
//    and the master side of a master-detail link.
//
// Every engine failure is raised as EDBEngineError (result code and the
// engine's message texts); the layer's own refusals as EDatabaseError. Text
// crosses to the engine in Windows-1252: a character that Windows-1252
// cannot hold is refused with a message naming the field or parameter,
// never replaced.
//
// Records: a data set keeps one bookmark per record it has reached (in the
// cursor's order) and record buffers for a window of them around the current
// one; a buffer that fell out of the window is read again through its
// bookmark. Moving and reading fields never re-run the statement; Refresh and
// the master-detail link do.
//
// Everything runs on the user-interface thread.
#pragma once
#pragma once

#include "DataSet.h"
#include "DataSource.h"
#include "Database.h"
#include "DatabaseError.h"
#include "Field.h"
#include "Param.h"
#include "Query.h"
#include "Session.h"
