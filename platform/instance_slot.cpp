#include "platform/instance_slot.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLockFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>

#include <cstring>

namespace {

constexpr int kSlotSize = 4;
constexpr qint64 kMaxRequest = 64;
const QByteArray kRequest = "restore\n";
const QByteArray kAnswer = "restored\n";
// Connections to a first instance that closed them unanswered (it was
// ending) before this start looks again whether anyone still listens.
constexpr int kConnectTurns = 3;

// The user's own runtime folder (XDG_RUNTIME_DIR, or a private folder Qt
// makes in the temporary folder): only this user can reach what is in it.
QString privateFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace

QString TInstanceSlot::DefaultName()
{
    return QStringLiteral("{CAF49BBB-AF40-4FDE-8757-51D5AEB5BBBF}");
}

TInstanceSlot::TInstanceSlot(const QString& name, QObject* parent)
    : QObject(parent), m_name(name), m_folder(privateFolder())
{
    // The slot is keyed by a file in the user's runtime folder, so another
    // user's instance never shares it; created with private permissions.
    if (!m_folder.isEmpty())
        m_shm.setNativeKey(FilePath(QStringLiteral(".slot")));
    // A random identity, never 0: unlike a process id it is not reused by a
    // later process, so a stale slot cannot point at someone else.
    while (m_identity == 0)
        m_identity = QRandomGenerator::system()->generate();
}

TInstanceSlot::~TInstanceSlot()
{
    Close();
}

void TInstanceSlot::Open()
{
    // Another start may be creating the slot at this very moment: its
    // object can exist before it can be attached, so attach and create take
    // a few bounded turns before the guard gives up.
    for (int attempt = 0; attempt < 50 && !m_shm.isAttached(); ++attempt) {
        if (m_shm.attach(QSharedMemory::ReadWrite)) {
            if (m_shm.size() < kSlotSize)
                m_shm.detach();
            return;
        }
        if (m_shm.create(kSlotSize, QSharedMemory::ReadWrite)) {
            std::memset(m_shm.data(), 0, kSlotSize);
            return;
        }
        if (m_shm.error() != QSharedMemory::AlreadyExists &&
            m_shm.error() != QSharedMemory::NotFound)
            return;
        QThread::msleep(10);
    }
}

quint32 TInstanceSlot::StoredIdentity() const
{
    if (!m_shm.isAttached())
        return 0;
    quint32 value = 0;
    std::memcpy(&value, m_shm.constData(), kSlotSize);
    return value;
}

void TInstanceSlot::Store(quint32 identity)
{
    std::memcpy(m_shm.data(), &identity, kSlotSize);
}

bool TInstanceSlot::Check()
{
    // Starts at the same moment take turns, so only one of them can find
    // the slot empty. A lock file rather than the shared memory's own
    // semaphore: that one is removed and made anew whenever a start attaches
    // or creates the slot, which would let two starts in at once. A lock
    // left by a process that died is taken over.
    if (!m_shm.isAttached())
        return false;
    QLockFile turn(FilePath(QStringLiteral(".lock")));
    turn.tryLock(2 * m_answerTimeoutMs);
    const quint32 stored = StoredIdentity();
    const bool handedOver = stored != 0 && stored != m_identity && AskToRestore(stored);
    if (!handedOver) {
        // First instance, or nobody listens for the stored one any more (it
        // crashed and left the slot behind): take the slot over. Listen
        // before storing, so a start that reads the new identity finds
        // someone answering.
        Listen();
        Store(m_identity);
    }
    return handedOver;
}

void TInstanceSlot::Close()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_shm.isAttached())
        m_shm.detach();
}

QString TInstanceSlot::FilePath(const QString& suffix) const
{
    const QByteArray hash =
        QCryptographicHash::hash(m_name.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return m_folder + QStringLiteral("/lumo-") + QString::fromLatin1(hash) + suffix;
}

QString TInstanceSlot::ServerName(quint32 identity) const
{
    return FilePath(QStringLiteral("-%1").arg(identity, 8, 16, QLatin1Char('0')));
}

bool TInstanceSlot::AskToRestore(quint32 identity) const
{
    for (int turn = 0; turn < kConnectTurns; ++turn) {
        QLocalSocket socket;
        socket.connectToServer(ServerName(identity));
        if (!socket.waitForConnected(m_answerTimeoutMs)) {
            // Only a refusal says that nobody listens; an instance too busy
            // to take the connection in time is still running.
            return socket.error() != QLocalSocket::ServerNotFoundError &&
                   socket.error() != QLocalSocket::ConnectionRefusedError;
        }
        // Someone listens: from here on this start ends whatever the answer.
        // The request waits in the connection for an instance that is slow
        // (stopped, swapped out) and is handled when it runs again.
        socket.write(kRequest);
        socket.waitForBytesWritten(m_answerTimeoutMs);
        QDeadlineTimer deadline(m_answerTimeoutMs);
        QByteArray answer;
        while (answer.size() < kAnswer.size() && !deadline.hasExpired() &&
               socket.state() == QLocalSocket::ConnectedState) {
            if (socket.bytesAvailable() == 0)
                socket.waitForReadyRead(int(deadline.remainingTime()));
            answer += socket.read(kAnswer.size() - answer.size());
        }
        // Closed unanswered: the instance was ending as it took the
        // connection; look again.
        if (!answer.isEmpty() || socket.state() == QLocalSocket::ConnectedState)
            return true;
    }
    return true;
}

bool TInstanceSlot::Listen()
{
    if (m_server)
        return true;
    const QString name = ServerName(m_identity);
    // A socket file left by a crashed process would block the name.
    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TInstanceSlot::Accept);
    if (!m_server->listen(name)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

void TInstanceSlot::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto answer = [this, socket] {
            if (socket->bytesAvailable() < kRequest.size())
                return;
            const QByteArray request = socket->read(kMaxRequest);
            if (request.startsWith(kRequest)) {
                emit restoreRequested();
                socket->write(kAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, answer);
        answer();
    }
}
