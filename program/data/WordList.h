// The generator's word list: the program resource "TXTWORDS", one word per
// line, lines ended by CR LF.
#pragma once

#include <QByteArray>
#include <QStringList>

namespace WordList {

// The resource's bytes as stored.
QByteArray Raw();
// Its lines, in order (empty when the resource is missing), split once and
// kept for the life of the program.
const QStringList& Load();

}  // namespace WordList
