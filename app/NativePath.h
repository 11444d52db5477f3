#pragma once

#include <QByteArray>
#include <QString>

// The bytes of the file a path names. A name that is not UTF-8 reaches us
// with U+FFFD in place of its bad bytes, or escaped as \ooo or \xHH as other
// tools print it; such a component is matched against the folder's entries
// where the path as typed does not exist.
QByteArray NativePath(const QString& path);
