// Where a client keeps its files: a portable application folder keeps
// everything, an installed client uses the user's XDG folders.
#include "util/app_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Xdg
{
    Set,
    Unset,
    Relative
};

void WriteFile(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

Q_DECLARE_METATYPE(Xdg)

class TstPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filesGoWhereTheFolderSays_data();
    void filesGoWhereTheFolderSays();
    void installedClientMakesPrivateFolders();
    void portableClientMakesNoFolders();

private:
    // Fills in {app}, {home}, {config} and {data}.
    QString Expand(QString pattern) const;
    void PointXdgAt(Xdg xdg);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_app;
};

void TstPaths::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_app = m_root->filePath("app") + "/";
    QVERIFY(QDir().mkpath(m_app));
    QVERIFY(QDir().mkpath(m_root->filePath("home")));
    qputenv("HOME", QFile::encodeName(m_root->filePath("home")));
    PointXdgAt(Xdg::Unset);
}

void TstPaths::cleanup()
{
    QFile::setPermissions(m_app, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_root.reset();
}

QString TstPaths::Expand(QString pattern) const
{
    return pattern.replace("{app}", m_app)
        .replace("{home}", m_root->filePath("home"))
        .replace("{config}", m_root->filePath("config"))
        .replace("{data}", m_root->filePath("data"));
}

void TstPaths::PointXdgAt(Xdg xdg)
{
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    if (xdg == Xdg::Set) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root->filePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root->filePath("data")));
    } else if (xdg == Xdg::Relative) {
        qputenv("XDG_CONFIG_HOME", "config");
        qputenv("XDG_DATA_HOME", "data");
    }
}

void TstPaths::filesGoWhereTheFolderSays_data()
{
    QTest::addColumn<bool>("marker");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<Xdg>("xdg");
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("skins");

    const QString inApp = "{app}settings.cfg", appSkins = "{app}skins/";
    const QString inConfig = "{config}/lumo/settings.cfg", dataSkins = "{data}/lumo/skins/";
    const QString inHome = "{home}/.config/lumo/settings.cfg";
    const QString homeSkins = "{home}/.local/share/lumo/skins/";
    QTest::newRow("marked, writable") << true << true << Xdg::Set << true << inApp << appSkins;
    QTest::newRow("marked, writable, no XDG")
        << true << true << Xdg::Unset << true << inApp << appSkins;
    QTest::newRow("marked, read-only")
        << true << false << Xdg::Set << false << inConfig << dataSkins;
    QTest::newRow("marked, read-only, no XDG")
        << true << false << Xdg::Unset << false << inHome << homeSkins;
    QTest::newRow("installed, writable")
        << false << true << Xdg::Set << false << inConfig << dataSkins;
    QTest::newRow("installed, read-only")
        << false << false << Xdg::Set << false << inConfig << dataSkins;
    QTest::newRow("installed, no XDG")
        << false << false << Xdg::Unset << false << inHome << homeSkins;
    QTest::newRow("installed, relative XDG is ignored")
        << false << true << Xdg::Relative << false << inHome << homeSkins;
}

void TstPaths::filesGoWhereTheFolderSays()
{
    QFETCH(bool, marker);
    QFETCH(bool, writable);
    QFETCH(Xdg, xdg);
    QFETCH(bool, portable);
    QFETCH(QString, settings);
    QFETCH(QString, skins);

    if (marker)
        WriteFile(m_app + TAppPaths::kPortableMarker);
    if (!writable)
        QVERIFY(QFile::setPermissions(m_app, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                 QFile::ExeOther));
    PointXdgAt(xdg);

    const TAppPaths paths = TAppPaths::ForApplicationFolder(m_app);
    QCOMPARE(paths.IsPortable(), portable);
    QCOMPARE(paths.SettingsFile(), Expand(settings));
    QCOMPARE(paths.SkinFolder(), Expand(skins));
    QCOMPARE(paths.SkinFile("Dark.skn"), Expand(skins) + "Dark.skn");
    // The installation's own files are read where they are.
    QCOMPARE(paths.InstallationFile("res/loading.jpg"), m_app + "res/loading.jpg");
}

void TstPaths::installedClientMakesPrivateFolders()
{
    PointXdgAt(Xdg::Set);
    const TAppPaths paths = TAppPaths::ForApplicationFolder(m_app);
    QVERIFY(paths.CreateUserFolders());
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString& folder :
         {paths.SettingsFolder(), paths.SkinFolder(), m_root->filePath("data/lumo")}) {
        QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
        QCOMPARE(QFileInfo(folder).permissions() &
                     ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 owner);
    }
    // Again, with everything there.
    QVERIFY(paths.CreateUserFolders());
}

void TstPaths::portableClientMakesNoFolders()
{
    WriteFile(m_app + TAppPaths::kPortableMarker);
    PointXdgAt(Xdg::Set);
    const TAppPaths paths = TAppPaths::ForApplicationFolder(m_app);
    QVERIFY(paths.IsPortable());
    QVERIFY(paths.CreateUserFolders());
    QVERIFY(!QFileInfo::exists(m_app + "skins"));
    QVERIFY(!QFileInfo::exists(m_root->filePath("config")));
    QVERIFY(!QFileInfo::exists(m_root->filePath("data")));
}

QTEST_GUILESS_MAIN(TstPaths)
#include "tst_paths.moc"
