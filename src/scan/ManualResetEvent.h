#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

// A named manual-reset event: once set it stays set, releasing every waiter, until it is
// reset. The name only tells the events apart when debugging.
class ManualResetEvent
{
public:
    ManualResetEvent(std::string name, bool signalled) : m_name(std::move(name)), m_set(signalled)
    {
    }
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set()
    {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_changed.notify_all();
    }

    void Reset()
    {
        std::lock_guard lock(m_mutex);
        m_set = false;
    }

    bool IsSet() const
    {
        std::lock_guard lock(m_mutex);
        return m_set;
    }

    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_set; });
    }

    // True when the event was set within `timeout`.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_set; });
    }

    const std::string& Name() const { return m_name; }

private:
    const std::string m_name;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set;
};
