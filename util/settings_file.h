#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// settings.cfg in its folder (TAppPaths::SettingsFolder): one encoded line
// naming the skin applied last. `appFolder`: that folder, ending in a path
// separator.

// The saved skin id, or nothing when there is no regular file (a missing
// file, a FIFO, a device, a folder). Raises UtilError when the file cannot
// be read or does not decode.
std::optional<QByteArray> read_saved_skin_id(const QString& appFolder);

// Replaces the file with the encoding of `skinId` + "|user"; a link in its
// place is replaced, its target left alone.
void write_saved_skin_id(const QString& appFolder, const QByteArray& skinId);
