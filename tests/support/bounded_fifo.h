#pragma once

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// A FIFO for tests of code that must never wait on one. Should the code
// under test block on it anyway, a watchdog opens and closes its other end
// after `boundMs`: the blocked call returns (end of file) and the test fails
// instead of hanging.
class BoundedFifo
{
public:
    explicit BoundedFifo(const QString& path, int boundMs = 10000)
        : m_path(QFile::encodeName(path)), m_made(::mkfifo(m_path.constData(), 0600) == 0)
    {
        if (m_made)
            m_watchdog = std::thread([this, boundMs] { Watch(boundMs); });
    }
    ~BoundedFifo()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_watchdog.joinable())
            m_watchdog.join();
    }
    BoundedFifo(const BoundedFifo&) = delete;
    BoundedFifo& operator=(const BoundedFifo&) = delete;

    bool Made() const { return m_made; }
    // True when a reader had to be freed.
    bool Released() const { return m_released; }

private:
    void Watch(int boundMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(boundMs), [this] { return m_done; }))
            return;
        m_released = true;
        const int fd = ::open(m_path.constData(), O_RDWR | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }

    QByteArray m_path;
    bool m_made;
    std::atomic<bool> m_released{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_watchdog;
};
