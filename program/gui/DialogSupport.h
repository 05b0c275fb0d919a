// What the group and description dialogs share: their mode, and (through
// DialogPlacement.h) their placement over the main window and the way a
// failed step reaches the user.
#pragma once

#include "DialogPlacement.h"

// New or edit, chosen by the command that opens a dialog and fixed for its
// life.
enum class TDialogMode { New, Edit };
