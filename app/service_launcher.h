#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <QUrl>

class QTcpSocket;

// Gives an installed client its local index service: when the service
// address is a loopback one and nothing accepts connections there, it
// starts the service for this user on that address, waits for it within a
// bound, and stops it when it goes. A service that something else runs
// there is used as it is, however slow it answers.
class TServiceLauncher : public QObject
{
    Q_OBJECT

public:
    // `program`: the service executable; `dataFolder` and `skinFolder`:
    // its catalogue and the skins it offers.
    TServiceLauncher(const QString& program, const QString& dataFolder, const QString& skinFolder,
                     QObject* parent = nullptr);
    ~TServiceLauncher() override;

    // Looks at `baseUrl` and starts the service when nothing answers there.
    void Start(const QUrl& baseUrl);

    // True while a service started here runs.
    bool ServiceRunning() const { return m_service.state() != QProcess::NotRunning; }

signals:
    // Texts for the user: the start, its failure; an empty text once the
    // service listens.
    void StatusText(const QString& text);
    // The outcome is known: a service answers, or none will.
    void Settled();

private:
    void ProbeDone(bool answered);
    void StartService();
    void ReadServiceOutput();
    void ServiceEnded();
    void Fail(const QString& text);
    QString EndReason() const;

    enum class TState
    {
        Idle,
        Probing,
        Starting,
        Running,
        Done
    };

    QString m_program;
    QString m_dataFolder;
    QString m_skinFolder;
    QUrl m_baseUrl;
    QTcpSocket* m_probe = nullptr;
    QTimer m_probeTimer;
    QProcess m_service;
    QTimer m_readyTimer;
    QByteArray m_output; // the service's last words, for a failure text
    TState m_state = TState::Idle;
};
