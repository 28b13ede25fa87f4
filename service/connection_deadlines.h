#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// Closes connections that take longer than a bound to deliver a request,
// however slowly they trickle it: an idle timeout alone lets a peer that
// sends a byte now and then hold its connection for ever. Connections are
// known by a key of the caller's choosing; each holds a duplicate of its
// socket, so the socket shut down is always the one registered, even when
// the server has closed its own descriptor and the number is reused.
class ConnectionDeadlines
{
public:
    explicit ConnectionDeadlines(std::chrono::milliseconds bound);
    ~ConnectionDeadlines();
    ConnectionDeadlines(const ConnectionDeadlines&) = delete;
    ConnectionDeadlines& operator=(const ConnectionDeadlines&) = delete;

    // A new connection: its first request is due within the bound.
    void add(const void* key, int fd);
    // The request has been read: no deadline until the next one starts.
    void requestRead(const void* key);
    // The answer has gone out: the next request is due within the bound.
    void awaitRequest(const void* key);
    void remove(const void* key);

private:
    struct Entry
    {
        int fd = -1;
        bool waiting = true;
        std::chrono::steady_clock::time_point since;
    };

    void sweep();

    const std::chrono::milliseconds bound_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<const void*, Entry> entries_;
    std::thread sweeper_;
};
