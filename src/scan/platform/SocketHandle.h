#pragma once

#include <unistd.h>

// Owns one socket (or any descriptor) and closes it when it goes; -1 owns nothing.
class SocketHandle
{
public:
    explicit SocketHandle(int fd = -1) : m_fd(fd) {}
    ~SocketHandle()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};
