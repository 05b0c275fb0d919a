// Where the program keeps its files: the settings file and the access log
// in the program directory, the help pages beside the program or under the
// installation prefix.
#pragma once

#include <QString>

namespace ProgramDirs {

// The directory of "kh.ini" and "log.txt": $KEYHAVEN_HOME when set; else the
// directory of the executable when the user may write there (a build tree or
// a private copy); else, for an installed program, the per-user directory
// ${XDG_CONFIG_HOME:-$HOME/.config}/keyhaven (created, owner only).
// Without a trailing '/'.
QString ProgramDirectory();

// The directory of the help pages: "help" in $KEYHAVEN_HOME or beside the
// executable, else share/keyhaven/help under the installation prefix (the
// executable's directory's parent). The first that exists; the last when none
// does.
QString HelpDirectory();

}  // namespace ProgramDirs
