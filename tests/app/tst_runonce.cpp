#include "platform/instance_slot.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSharedMemory>
#include <QTest>
#include <QUuid>

#include <memory>
#include <vector>

namespace {

constexpr int kBound = 20000;

// One process of the stand-in client, reading its report lines.
class Probe
{
public:
    Probe(const QString& slot, const QStringList& options = {})
    {
        m_process.setProgram(QCoreApplication::applicationDirPath() + "/runonce_probe");
        m_process.setArguments(QStringList{slot} + options);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void nextStartAfterEndIsFirst();
    void staleSlotIsTakenOver();
    void simultaneousStartsMakeOneFirst();
    void slotIsFourBytes();
};

void TstRunOnce::secondStartHandsOver_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("front");
    QTest::newRow("normal window") << QStringList{} << QByteArray("main");
    QTest::newRow("minimised window") << QStringList{"minimized"} << QByteArray("main");
    QTest::newRow("modal window open") << QStringList{"modal"} << QByteArray("modal");
}

void TstRunOnce::secondStartHandsOver()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, front);
    const QString slot = freshSlotName();

    Probe first(slot, options);
    QCOMPARE(first.nextLine(), QByteArray("first"));

    Probe second(slot);
    // The first instance has handled the request before the second ends.
    QCOMPARE(first.nextLine(), "restored front=" + front + " minimized=0");
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
    QCOMPARE(again.nextLine(), QByteArray("restored front=main minimized=0"));
    QCOMPARE(again.end(), 0);
}

void TstRunOnce::staleSlotIsTakenOver()
{
    const QString slot = freshSlotName();
    {
        Probe crashed(slot);
        QCOMPARE(crashed.nextLine(), QByteArray("first"));
        crashed.process().kill();
        QVERIFY(crashed.finished());
    }
    // The slot outlived its owner and still names it.
    TInstanceSlot observer(slot);
    observer.Open();
    QVERIFY(observer.IsActive());
    const quint32 staleIdentity = observer.StoredIdentity();
    QVERIFY(staleIdentity != 0);

    Probe next(slot);
    QCOMPARE(next.nextLine(), QByteArray("first"));
    QVERIFY(observer.StoredIdentity() != staleIdentity);

    // The new first instance answers later starts.
    Probe second(slot);
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QCOMPARE(next.nextLine(), QByteArray("restored front=main minimized=0"));
    QCOMPARE(next.end(), 0);
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

    QSharedMemory raw(slot);
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
