#include "util/app_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// An XDG folder, or its default under the home folder when the variable is
// unset or not absolute (the XDG rule: relative paths are ignored).
QString UserFolder(QStandardPaths::StandardLocation type, const QString& underHome)
{
    QString folder = QStandardPaths::writableLocation(type);
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        folder = QDir::homePath() + underHome;
    return QDir::cleanPath(folder) + QLatin1Char('/');
}

// Writable for this user by its permissions. Root passes every access
// check, but a folder that grants nobody write access is read-only media
// or an installation, and is treated as such.
bool IsWritableFolder(const QString& folder)
{
    const QFileInfo info(folder);
    constexpr QFile::Permissions anyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isDir() && info.isWritable() && (info.permissions() & anyWrite);
}

// Creates `folder` and the missing folders above it up to `base`; the
// ones made here are private to the user.
bool MakePrivateFolder(const QString& base, const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    if (!QDir().mkpath(base))
        return false;
    QString path = QDir::cleanPath(base);
    for (const QString& part :
         QDir(base).relativeFilePath(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        if (!QFileInfo(path).isDir() &&
            !QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
    }
    return QFileInfo(folder).isDir();
}

} // namespace

const char* const TAppPaths::kPortableMarker = "portable";

TAppPaths::TAppPaths(const QString& appFolder)
    : m_appFolder(appFolder), m_settingsFolder(appFolder),
      m_skinFolder(appFolder + QStringLiteral("skins/")),
      m_serviceDataFolder(
          UserFolder(QStandardPaths::GenericDataLocation, QStringLiteral("/.local/share")) +
          QStringLiteral("lumo-service/"))
{
}

TAppPaths TAppPaths::ForApplicationFolder(const QString& appFolder)
{
    TAppPaths paths(appFolder);
    if (QFileInfo(appFolder + QLatin1String(kPortableMarker)).isFile() &&
        IsWritableFolder(appFolder))
        return paths;
    paths.m_portable = false;
    paths.m_settingsFolder =
        UserFolder(QStandardPaths::GenericConfigLocation, QStringLiteral("/.config")) +
        QStringLiteral("lumo/");
    paths.m_skinFolder =
        UserFolder(QStandardPaths::GenericDataLocation, QStringLiteral("/.local/share")) +
        QStringLiteral("lumo/skins/");
    return paths;
}

bool TAppPaths::CreateUserFolders() const
{
    if (m_portable)
        return true;
    const QString config =
        UserFolder(QStandardPaths::GenericConfigLocation, QStringLiteral("/.config"));
    const QString data =
        UserFolder(QStandardPaths::GenericDataLocation, QStringLiteral("/.local/share"));
    return MakePrivateFolder(config, m_settingsFolder) && MakePrivateFolder(data, m_skinFolder);
}
