// The installed layout: `cmake --install` into a prefix that is then made
// read-only, with HOME, TMPDIR and the XDG folders pointed at temporary
// ones. The client's windows and its service launcher run on the installed
// files; nothing under the prefix may change.
#include "app/service_launcher.h"
#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "ui/uMain.h"
#include "ui/uSkin.h"
#include "util/app_paths.h"
#include "util/settings_file.h"

#include <QDirIterator>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kInstallTimeout = 120000;
// A first start of the service builds its catalogue.
constexpr int kServiceTimeout = 90000;
constexpr int kNetTimeout = 10000;

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry under `root` with its type, size, mode and time of change.
QStringList Listing(const QString& root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QDir(root).relativeFilePath(info.filePath()),
                          info.isSymLink() ? info.symLinkTarget() : QString(),
                          QString::number(info.isSymLink() ? 0 : info.size()),
                          QString::number(int(info.permissions()), 16),
                          info.lastModified().toString(Qt::ISODateWithMs));
    }
    lines.sort();
    return lines;
}

bool MakeReadOnly(const QString& root, bool readOnly)
{
    QStringList paths{root};
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    bool ok = true;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isSymLink())
            continue;
        QFile::Permissions permissions = info.permissions();
        const QFile::Permissions write =
            QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        permissions = readOnly ? permissions & ~write : permissions | QFile::WriteOwner;
        ok = QFile::setPermissions(path, permissions) && ok;
    }
    return ok;
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// True when something accepts a connection on the port.
bool Accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(kNetTimeout);
}

QUrl LoopbackUrl(quint16 port)
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port));
}

} // namespace

class TstInstall : public QObject
{
    Q_OBJECT

public:
    explicit TstInstall(const QString& home) : m_home(home) {}

private slots:
    void initTestCase();
    void cleanupTestCase();

    void programsAreLinkedFromBin();
    void installedClientIsNotPortable();
    void launcherStartsTheServiceAndStopsIt();
    void launcherOutcomes_data();
    void launcherOutcomes();
    void installedClientKeepsItsSkinAcrossARestart();

private:
    QString AppFolder() const { return m_prefix.path() + "/" LUMO_INSTALL_APP_DIR "/"; }
    std::unique_ptr<TServiceLauncher> Launcher(const QString& program) const;

    QString m_home;
    QTemporaryDir m_prefix;
    QStringList m_listing;
};

void TstInstall::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    install.start(LUMO_CMAKE, {"--install", LUMO_BUILD_DIR, "--prefix", m_prefix.path()});
    QVERIFY(install.waitForFinished(kInstallTimeout));
    QCOMPARE(install.exitCode(), 0);
    QVERIFY(QFileInfo(AppFolder() + "lumo").isExecutable());
    // Nothing is installed that others could write.
    QStringList writable;
    QDirIterator it(m_prefix.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!info.isSymLink() && (info.permissions() & (QFile::WriteGroup | QFile::WriteOther)))
            writable << info.filePath();
    }
    QVERIFY2(writable.isEmpty(), qPrintable(writable.join(", ")));
    QVERIFY(MakeReadOnly(m_prefix.path(), true));
    m_listing = Listing(m_prefix.path());

    // A small catalogue in the user's data folder, made by the installed
    // service, so that the launcher's starts need not build the full one.
    QProcess seed;
    seed.start(AppFolder() + "lumo-service",
               {"--port", "0", "--records", "3000", "--data",
                TAppPaths::ForApplicationFolder(AppFolder()).ServiceDataFolder()});
    QByteArray output;
    QDeadlineTimer deadline(kServiceTimeout);
    while (!output.contains("listening on") && !deadline.hasExpired() &&
           seed.state() != QProcess::NotRunning) {
        seed.waitForReadyRead(500);
        output += seed.readAllStandardOutput();
    }
    QVERIFY2(output.contains("listening on"), output.constData());
    seed.terminate();
    QVERIFY(seed.waitForFinished(kNetTimeout));
}

void TstInstall::cleanupTestCase()
{
    const QStringList after = Listing(m_prefix.path());
    MakeReadOnly(m_prefix.path(), false);
    QCOMPARE(after, m_listing);
}

void TstInstall::programsAreLinkedFromBin()
{
    QVERIFY(QFileInfo(m_prefix.filePath("bin/lumo")).isSymLink());
    QCOMPARE(QFileInfo(m_prefix.filePath("bin/lumo")).canonicalFilePath(),
             QFileInfo(AppFolder() + "lumo").canonicalFilePath());
    QCOMPARE(QFileInfo(m_prefix.filePath("bin/lumo-service")).canonicalFilePath(),
             QFileInfo(AppFolder() + "lumo-service").canonicalFilePath());
}

void TstInstall::installedClientIsNotPortable()
{
    const TAppPaths paths = TAppPaths::ForApplicationFolder(AppFolder());
    QVERIFY(!paths.IsPortable());
    QCOMPARE(paths.SettingsFile(), m_home + "/config/lumo/settings.cfg");
    QCOMPARE(paths.SkinFolder(), m_home + "/data/lumo/skins/");
    for (const char* file : {"info.txt", "history.txt", "res/loading.html", "res/loading.jpg",
                             "skins-sample/Dark.skn", "skins-sample/Dark.jpg"})
        QVERIFY2(QFileInfo(paths.InstallationFile(file)).isFile(), file);
}

std::unique_ptr<TServiceLauncher> TstInstall::Launcher(const QString& program) const
{
    const TAppPaths paths = TAppPaths::ForApplicationFolder(AppFolder());
    return std::make_unique<TServiceLauncher>(program, paths.ServiceDataFolder(),
                                              paths.InstallationFile("skins-sample"));
}

void TstInstall::launcherStartsTheServiceAndStopsIt()
{
    const quint16 port = FreePort();
    QVERIFY(port != 0);
    auto launcher = Launcher(AppFolder() + "lumo-service");
    QSignalSpy settled(launcher.get(), &TServiceLauncher::Settled);
    QSignalSpy texts(launcher.get(), &TServiceLauncher::StatusText);
    launcher->Start(LoopbackUrl(port));
    QTRY_COMPARE_WITH_TIMEOUT(settled.count(), 1, kServiceTimeout);
    QVERIFY(launcher->ServiceRunning());
    QCOMPARE(texts.count(), 2);
    QCOMPARE(texts.last().first().toString(), QString()); // the start text is cleared
    QVERIFY(Accepts(port));

    launcher.reset();
    QVERIFY(!Accepts(port));
}

void TstInstall::launcherOutcomes_data()
{
    QTest::addColumn<QString>("program"); // {app}: the application folder
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("text"); // the last status text, its start

    QTest::newRow("something answers already")
        << "{app}lumo-service" << true << "127.0.0.1" << QString();
    // Never contacted: only a loopback address is looked at.
    QTest::newRow("not a loopback address")
        << "{app}lumo-service" << false << "192.0.2.1" << QString();
    QTest::newRow("program missing") << "{app}no-such-service" << false << "127.0.0.1"
                                     << QStringLiteral("本地搜索服务无法启动：");
    QTest::newRow("program ends at once")
        << "/bin/false" << false << "127.0.0.1" << QStringLiteral("本地搜索服务无法启动：退出码 1");
}

void TstInstall::launcherOutcomes()
{
    QFETCH(QString, program);
    QFETCH(bool, portTaken);
    QFETCH(QString, host);
    QFETCH(QString, text);

    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    const quint16 port = taken.serverPort();
    if (!portTaken)
        taken.close();
    auto launcher = Launcher(program.replace("{app}", AppFolder()));
    QSignalSpy settled(launcher.get(), &TServiceLauncher::Settled);
    QSignalSpy texts(launcher.get(), &TServiceLauncher::StatusText);
    QUrl url = LoopbackUrl(port);
    url.setHost(host);
    launcher->Start(url);
    QTRY_COMPARE_WITH_TIMEOUT(settled.count(), 1, kServiceTimeout);
    QVERIFY(!launcher->ServiceRunning());
    if (text.isEmpty()) {
        QCOMPARE(texts.count(), 0);
    } else {
        QVERIFY(texts.count() >= 1);
        const QString last = texts.last().first().toString();
        QVERIFY2(last.startsWith(text), qPrintable(last));
    }
}

void TstInstall::installedClientKeepsItsSkinAcrossARestart()
{
    const quint16 port = FreePort();
    QVERIFY(port != 0);
    auto launcher = Launcher(AppFolder() + "lumo-service");
    QSignalSpy settled(launcher.get(), &TServiceLauncher::Settled);
    launcher->Start(LoopbackUrl(port));
    QTRY_COMPARE_WITH_TIMEOUT(settled.count(), 1, kServiceTimeout);
    QVERIFY(launcher->ServiceRunning());

    const TAppPaths paths = TAppPaths::ForApplicationFolder(AppFolder());
    QVERIFY(paths.CreateUserFolders());
    {
        TMainForm main(paths);
        TSkinFrm frm(main);
        main.tmr1->stop();
        main.tmr2->stop();
        main.base_url = LoopbackUrl(port).toString();
        main.show();
        QCOMPARE(main.skin_name, QStringLiteral("Charm"));
        frm.open();
        QTRY_VERIFY_WITH_TIMEOUT(
            !frm.SLBox->findItems(QStringLiteral("Dark皮肤"), Qt::MatchExactly).isEmpty(),
            kNetTimeout);
        QListWidgetItem* item =
            frm.SLBox->findItems(QStringLiteral("Dark皮肤"), Qt::MatchExactly).first();
        QTest::mouseClick(frm.SLBox->viewport(), Qt::LeftButton, {},
                          frm.SLBox->visualItemRect(item).center());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(paths.SkinFile("Dark.jpg")), kNetTimeout);
        QTest::mouseClick(frm.SKBtnApply, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(main.SkinData1->SkinName(), QStringLiteral("Dark"), kNetTimeout);
        QCOMPARE(ReadFile(paths.SkinFile("Dark.skn")),
                 ReadFile(AppFolder() + "skins-sample/Dark.skn"));
        frm.close();
    }
    QCOMPARE(read_saved_skin_id(m_home + "/config/lumo/"), std::optional<QByteArray>("Dark"));

    // The next start restores it from the user's folders.
    TMainForm main(paths);
    main.show();
    QCOMPARE(main.skin_name, QStringLiteral("Dark"));
    QCOMPARE(main.SkinData1->SkinName(), QStringLiteral("Dark"));
}

int main(int argc, char** argv)
{
    // The user's folders are temporary ones, made before anything asks for them.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char* folder : {"home", "config", "data", "cache", "tmp", "runtime"})
        QDir(home.path()).mkpath(folder);
    QFile::setPermissions(home.filePath("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(home.filePath("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath("cache")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath("runtime")));
    qputenv("TMPDIR", QFile::encodeName(home.filePath("tmp")));

    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstInstall test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_install.moc"
