// The program's built-in resources: the toolbar and panel pictures, the
// sounds, the application icon and the help pages (resources/keyhaven.qrc).
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace Resources {

// Makes the built-in resources available; the resources live in a static
// library, so the program calls this once before it uses them (every
// function here calls it too). Cheap to call again.
void Init();

// The picture of a button by its component name ("cmdAddGroup"): the ON
// picture is shown while the pointer is over the button, the OFF picture
// otherwise. Pictures are SVG: crisp at any size.
QString PicturePath(const QString& component, bool on);
QIcon Picture(const QString& component, bool on);
// The buttons that have ON/OFF pictures, in toolbar order, then the save
// button's picture pair ("cmdSaveMemo").
const QStringList& PictureComponents();

// The wave resource "GRANT", "DENY", "BUZZ" or "MOVE", as a path and as a
// URL for QSoundEffect.
QString SoundPath(const QString& name);
QUrl SoundUrl(const QString& name);
const QStringList& SoundNames();

// The application icon.
QIcon AppIcon();

}  // namespace Resources
