#pragma once

#include "tk_except.hpp"

#include <atomic>

// at most one live instance of T per process, reachable from anywhere;
// T derives from tk_singleton<T> and is created the ordinary way by its owner
template <class T>
class tk_singleton {
public:
    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    static T& instance()
    {
        tk_singleton* p = s_instance.load(std::memory_order_acquire);
        if (!p)
            throw tk_mail_assertion("..\\TK/tk_singl.hpp", 59);
        return static_cast<T&>(*p);
    }

    // the form the trace writers use after testing presence themselves
    static T& trace_instance()
    {
        tk_singleton* p = s_instance.load(std::memory_order_acquire);
        if (!p)
            throw tk_mail_assertion("..\\TK/tk_singl.hpp", 66);
        return static_cast<T&>(*p);
    }

    // for optional services: no instance is not an error
    static bool has_instance() noexcept
    {
        return s_instance.load(std::memory_order_acquire) != nullptr;
    }

protected:
    tk_singleton()
    {
        if (s_instance.load(std::memory_order_acquire))
            throw tk_mail_assertion("..\\TK/tk_singl.hpp", 35);
        s_instance.store(this, std::memory_order_release);
    }

    // runs after T's destructor; a missing registration is an internal error
    virtual ~tk_singleton() noexcept(false)
    {
        if (!s_instance.load(std::memory_order_acquire))
            throw tk_mail_assertion("..\\TK/tk_singl.hpp", 46);
        s_instance.store(nullptr, std::memory_order_release);
    }

private:
    // the base is kept: T is not yet built while it registers
    static inline std::atomic<tk_singleton*> s_instance{nullptr};
};
