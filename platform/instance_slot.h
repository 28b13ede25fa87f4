#pragma once

#include <QObject>
#include <QSharedMemory>
#include <QString>

class QLocalServer;

// The single-instance slot: a named 4-byte shared memory object holding the
// identity of the first instance (0 while none is stored), and a local
// socket, named after that identity, on which the first instance takes
// requests to come to the front. Both belong to the user: they are named
// after files in the user's private runtime folder, so each user on a
// machine has a first instance of their own.
class TInstanceSlot : public QObject
{
    Q_OBJECT

public:
    static QString DefaultName();

    explicit TInstanceSlot(const QString& name = DefaultName(), QObject* parent = nullptr);
    ~TInstanceSlot() override;

    // Opens the slot, or creates it holding 0. Needs no application object.
    // When neither works the slot stays inactive.
    void Open();
    bool IsActive() const { return m_shm.isAttached(); }

    // True when a first instance listens: it has been asked to come to the
    // front (and has done so, unless it was too slow to answer in time) and
    // this process must not start. False when this process is the first
    // instance: it has stored its identity (also over a slot left by an
    // instance for which nobody listens any more) and from now on answers
    // requests by emitting restoreRequested.
    bool Check();

    // Stops answering and lets go of the slot.
    void Close();

    quint32 Identity() const { return m_identity; }
    quint32 StoredIdentity() const;
    // The key of the shared memory object (a file path on this system).
    QString NativeKey() const { return m_shm.nativeKey(); }

    // Bounds for talking to the stored instance.
    void SetAnswerTimeout(int milliseconds) { m_answerTimeoutMs = milliseconds; }

signals:
    // Emitted in the first instance for every request; the handlers run
    // before the requesting process is answered.
    void restoreRequested();

private:
    // A path of the slot's own in the user's runtime folder.
    QString FilePath(const QString& suffix) const;
    QString ServerName(quint32 identity) const;
    bool AskToRestore(quint32 identity) const;
    bool Listen();
    void Store(quint32 identity);
    void Accept();

    QString m_name;
    QString m_folder;
    QSharedMemory m_shm;
    quint32 m_identity = 0;
    QLocalServer* m_server = nullptr;
    int m_answerTimeoutMs = 5000;
};
