#include "platform/instance_slot.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <QDir>

#include <grp.h>
#include <sys/stat.h>
#include <memory>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBound = 20000;

// One process of the stand-in client, reading its report lines.
class Probe
{
public:
    // `user` set: the probe runs as that user, with its own home and
    // runtime folder `home`, from `program` (a copy that user can reach).
    Probe(const QString& slot, const QStringList& options = {}, const passwd* user = nullptr,
          const QString& home = {}, const QString& program = {})
    {
        m_process.setProgram(program.isEmpty()
                                 ? QCoreApplication::applicationDirPath() + "/runonce_probe"
                                 : program);
        m_process.setArguments(QStringList{slot} + options);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (user) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", home);
            env.insert("XDG_RUNTIME_DIR", home);
            m_process.setProcessEnvironment(env);
            m_process.setWorkingDirectory(home);
            const uid_t uid = user->pw_uid;
            const gid_t gid = user->pw_gid;
            m_process.setChildProcessModifier([uid, gid] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(3);
            });
        }
        m_process.start();
    }
    ~Probe()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kBound);
        }
    }

    // Waits (bounded) for the next line the probe writes.
    QByteArray nextLine()
    {
        QDeadlineTimer deadline(kBound);
        while (!m_process.canReadLine() && !deadline.hasExpired()) {
            if (!m_process.waitForReadyRead(int(deadline.remainingTime())) &&
                m_process.state() == QProcess::NotRunning)
                break;
        }
        return m_process.readLine().trimmed();
    }

    // Ends a first instance the normal way and returns its exit code.
    int end()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(kBound))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    bool finished() { return m_process.waitForFinished(kBound); }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

QString freshSlotName()
{
    return "lumo-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

class TstRunOnce : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void nextStartAfterEndIsFirst();
    void slotOfAFirstInstance_data();
    void slotOfAFirstInstance();
    void otherUserHasAFirstInstanceOfTheirOwn();
    void simultaneousStartsMakeOneFirst();
    void slotIsFourBytes();

private:
    // The user's folders of every probe of this test, private to the run.
    QTemporaryDir m_home;
};

void TstRunOnce::initTestCase()
{
    // Home and runtime folder of this user; the temporary folder open to
    // all, as /tmp is.
    QVERIFY(m_home.isValid());
    QVERIFY(QDir(m_home.path()).mkpath("run") && QDir(m_home.path()).mkpath("tmp"));
    QVERIFY(::chmod(QFile::encodeName(m_home.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_home.filePath("run")).constData(), 0700) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_home.filePath("tmp")).constData(), 01777) == 0);
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qputenv(name, QFile::encodeName(m_home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.filePath("run")));
    qputenv("TMPDIR", QFile::encodeName(m_home.filePath("tmp")));
}

void TstRunOnce::secondStartHandsOver_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("front");
    QTest::addColumn<QByteArray>("state");
    QTest::newRow("normal window")
        << QStringList{} << QByteArray("main") << QByteArray("minimized=0 maximized=0");
    QTest::newRow("minimised window")
        << QStringList{"minimized"} << QByteArray("main") << QByteArray("minimized=0 maximized=0");
    QTest::newRow("maximised, then minimised")
        << QStringList{"maximized"} << QByteArray("main") << QByteArray("minimized=0 maximized=1");
    QTest::newRow("modal window open")
        << QStringList{"modal"} << QByteArray("modal") << QByteArray("minimized=0 maximized=0");
}

void TstRunOnce::secondStartHandsOver()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, front);
    QFETCH(QByteArray, state);
    const QString slot = freshSlotName();

    Probe first(slot, options);
    QCOMPARE(first.nextLine(), QByteArray("first"));

    Probe second(slot);
    // The first instance has handled the request before the second ends.
    QCOMPARE(first.nextLine(), "restored front=" + front + " " + state);
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finished());
    QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process().exitCode(), 0);

    QCOMPARE(first.end(), 0);
}

void TstRunOnce::nextStartAfterEndIsFirst()
{
    const QString slot = freshSlotName();
    {
        Probe first(slot);
        QCOMPARE(first.nextLine(), QByteArray("first"));
        QCOMPARE(first.end(), 0);
    }
    Probe again(slot);
    QCOMPARE(again.nextLine(), QByteArray("first"));
    Probe second(slot);
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QCOMPARE(again.nextLine(), QByteArray("restored front=main minimized=0 maximized=0"));
    QCOMPARE(again.end(), 0);
}

void TstRunOnce::slotOfAFirstInstance_data()
{
    // What became of the first instance: a stopped one still listens and
    // keeps its slot; for one that is gone nobody listens, and the next
    // start takes the slot over.
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("keepsSlot");
    QTest::newRow("stopped (SIGSTOP)") << int(SIGSTOP) << true;
    QTest::newRow("gone (SIGKILL)") << int(SIGKILL) << false;
}

void TstRunOnce::slotOfAFirstInstance()
{
    QFETCH(int, signal);
    QFETCH(bool, keepsSlot);
    const QString slot = freshSlotName();
    Probe first(slot);
    QCOMPARE(first.nextLine(), QByteArray("first"));
    TInstanceSlot observer(slot);
    observer.Open();
    QVERIFY(observer.IsActive());
    const quint32 identity = observer.StoredIdentity();
    QVERIFY(identity != 0);
    first.signal(signal);
    if (!keepsSlot)
        QVERIFY(first.finished());

    Probe next(slot);
    QCOMPARE(next.nextLine(), keepsSlot ? QByteArray("second") : QByteArray("first"));
    QCOMPARE(observer.StoredIdentity() == identity, keepsSlot);

    // Whoever holds the slot answers later starts; a stopped instance
    // handles the requests that waited for it once it runs again.
    Probe& owner = keepsSlot ? first : next;
    if (keepsSlot) {
        QVERIFY(next.finished());
        first.signal(SIGCONT);
        QCOMPARE(first.nextLine(), QByteArray("restored front=main minimized=0 maximized=0"));
    }
    Probe later(slot);
    QCOMPARE(later.nextLine(), QByteArray("second"));
    QCOMPARE(owner.nextLine(), QByteArray("restored front=main minimized=0 maximized=0"));
    QCOMPARE(owner.end(), 0);
}

void TstRunOnce::otherUserHasAFirstInstanceOfTheirOwn()
{
    const passwd* other = ::getpwnam("nobody");
    if (::geteuid() != 0 || !other)
        QSKIP("needs root to start a probe as another user");
    // The other user's home and runtime folder; the temporary folder is
    // the one this user has.
    QTemporaryDir otherHome;
    QVERIFY(otherHome.isValid());
    QVERIFY(::chown(QFile::encodeName(otherHome.path()).constData(), other->pw_uid,
                    other->pw_gid) == 0);
    // The build tree may be private to this user: the other user runs a
    // copy of the probe from the run's home, which is open to all.
    const QString program = m_home.filePath("runonce_probe");
    QFile::remove(program);
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/runonce_probe", program));
    QVERIFY(::chmod(QFile::encodeName(program).constData(), 0755) == 0);
    const QString slot = freshSlotName();

    Probe mine(slot);
    QCOMPARE(mine.nextLine(), QByteArray("first"));
    Probe theirs(slot, {}, other, otherHome.path(), program);
    QCOMPARE(theirs.nextLine(), QByteArray("first"));
    // Their second start raises their own instance, never mine.
    Probe theirSecond(slot, {}, other, otherHome.path(), program);
    QCOMPARE(theirSecond.nextLine(), QByteArray("second"));
    QCOMPARE(theirs.nextLine(), QByteArray("restored front=main minimized=0 maximized=0"));
    Probe mySecond(slot);
    QCOMPARE(mySecond.nextLine(), QByteArray("second"));
    QCOMPARE(mine.nextLine(), QByteArray("restored front=main minimized=0 maximized=0"));
    QCOMPARE(theirs.end(), 0);
    QCOMPARE(mine.end(), 0);
}

void TstRunOnce::simultaneousStartsMakeOneFirst()
{
    const QString slot = freshSlotName();
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 3; ++i)
        probes.push_back(std::make_unique<Probe>(slot));
    QList<QByteArray> firstLines;
    for (auto& probe : probes)
        firstLines << probe->nextLine();
    QCOMPARE(firstLines.count("first"), 1);
    QCOMPARE(firstLines.count("second"), 2);
    for (auto& probe : probes) {
        if (probe->process().state() != QProcess::NotRunning)
            QCOMPARE(probe->end(), 0);
    }
}

void TstRunOnce::slotIsFourBytes()
{
    const QString slot = freshSlotName();
    TInstanceSlot owner(slot);
    owner.Open();
    QVERIFY(owner.IsActive());
    QCOMPARE(owner.StoredIdentity(), 0u);
    QVERIFY(!owner.Check());
    QCOMPARE(owner.StoredIdentity(), owner.Identity());

    QSharedMemory raw;
    raw.setNativeKey(owner.NativeKey());
    QVERIFY(raw.attach(QSharedMemory::ReadOnly));
    QCOMPARE(raw.size(), 4);

    // Inactive guard (never opened): runs as a first instance, stores nothing.
    TInstanceSlot unopened(slot);
    QVERIFY(!unopened.IsActive());
    QVERIFY(!unopened.Check());
    QCOMPARE(owner.StoredIdentity(), owner.Identity());
}

QTEST_MAIN(TstRunOnce)
#include "tst_runonce.moc"
