#pragma once

#include <QString>

// Where the client's files are. A portable client keeps everything in its
// application folder, as the build tree and the test copies do: the folder
// says so by carrying the marker file, and it must be writable. Any other
// client is an installed one: it reads its own files (res/, info.txt,
// history.txt, the local service) from the installation and keeps
// settings.cfg and the downloaded skins in the user's folders, so that
// nothing is ever written under the installation prefix.
class TAppPaths
{
public:
    // The marker file's name in a portable application folder.
    static const char* const kPortableMarker;

    // Everything in `appFolder` (ending in "/"): the portable layout.
    // Implicit, so that windows built on a folder keep their files there.
    TAppPaths(const QString& appFolder);

    // The layout for the application folder of the running executable.
    static TAppPaths ForApplicationFolder(const QString& appFolder);

    bool IsPortable() const { return m_portable; }

    // A read-only file of the installation, such as "res/loading.jpg".
    QString InstallationFile(const QString& name) const { return m_appFolder + name; }

    // The folder of settings.cfg, ending in "/".
    QString SettingsFolder() const { return m_settingsFolder; }
    QString SettingsFile() const { return m_settingsFolder + QStringLiteral("settings.cfg"); }

    // The skin cache, ending in "/", and a file in it such as "Dark.skn".
    QString SkinFolder() const { return m_skinFolder; }
    QString SkinFile(const QString& name) const { return m_skinFolder + name; }

    // The data folder of the local service the client starts for this user.
    QString ServiceDataFolder() const { return m_serviceDataFolder; }

    // Creates the user's folders an installed client writes into, private
    // to the user; a portable client's folders belong to its copy. False
    // when one cannot be made.
    bool CreateUserFolders() const;

private:
    QString m_appFolder;
    QString m_settingsFolder;
    QString m_skinFolder;
    QString m_serviceDataFolder;
    bool m_portable = true;
};
