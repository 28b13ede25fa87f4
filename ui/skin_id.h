#pragma once

#include <QByteArray>

// Skin ids come from the service and become file names under skins/. An id
// is safe when every file named after it stays inside that folder: no path
// separator, no "..", no drive colon, no control character, none of the
// characters a file name may not hold, and no device name (CON, NUL, COM1...).
// The empty id is safe: its files are skins/.skn and skins/.jpg.
bool IsSafeSkinId(const QByteArray& id);

// The id for a status text: control characters shown as "?".
QByteArray PrintableSkinId(const QByteArray& id);
