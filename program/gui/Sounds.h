// The program's sounds: "GRANT", "DENY" and "BUZZ" when a database is opened
// or unlocked, "MOVE" when the pointer enters a button. Each plays
// asynchronously from the program's resources (":/sounds/<name>.wav"), and
// only when an audio output exists; otherwise it is skipped silently.
#pragma once

#include <QString>
#include <QStringList>

namespace Sounds {

void Play(const QString& name);

// Every sound asked for since the last ClearRequested, played or not (tests
// read it to see what the program would have sounded).
const QStringList& Requested();
void ClearRequested();

}  // namespace Sounds
