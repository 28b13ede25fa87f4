#include "service/connection_deadlines.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

ConnectionDeadlines::ConnectionDeadlines(std::chrono::milliseconds bound)
    : bound_(bound), sweeper_([this] { sweep(); })
{
}

ConnectionDeadlines::~ConnectionDeadlines()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    sweeper_.join();
    for (const auto& [key, entry] : entries_)
        close(entry.fd);
}

void ConnectionDeadlines::add(const void* key, int fd)
{
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    if (own < 0) {
        // Out of descriptors: better no connection than one without a bound.
        shutdown(fd, SHUT_RDWR);
        return;
    }
    entries_[key] = Entry{own, true, std::chrono::steady_clock::now()};
}

void ConnectionDeadlines::requestRead(const void* key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = entries_.find(key); it != entries_.end())
        it->second.waiting = false;
}

void ConnectionDeadlines::awaitRequest(const void* key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = entries_.find(key); it != entries_.end()) {
        it->second.waiting = true;
        it->second.since = std::chrono::steady_clock::now();
    }
}

void ConnectionDeadlines::remove(const void* key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = entries_.find(key); it != entries_.end()) {
        close(it->second.fd);
        entries_.erase(it);
    }
}

void ConnectionDeadlines::sweep()
{
    const auto tick = std::max(bound_ / 8, std::chrono::milliseconds(50));
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, tick);
        const auto now = std::chrono::steady_clock::now();
        for (auto& [key, entry] : entries_) {
            if (entry.waiting && now - entry.since > bound_) {
                // The server sees the end of the stream and closes it.
                shutdown(entry.fd, SHUT_RDWR);
                entry.waiting = false;
            }
        }
    }
}
