#pragma once
// Optional profiler hooks. The engine's profiler installs them; when a hook
// is not set, a scope costs one atomic load.

#include <atomic>

namespace ZEL::Profiler {

struct Hooks {
    using BeginScope = void (*)(const char* name);
    using EndScope = void (*)();

    // May be set and cleared from any thread while scopes are open.
    std::atomic<BeginScope> beginScope{nullptr};
    std::atomic<EndScope> endScope{nullptr};
};

extern Hooks g_hooks;

// RAII named scope; `name` must outlive the scope (string literals do).
// A scope ends in the profiler only if it began there: hooks installed while
// it is open do not see an end without a beginning.
class Scope {
public:
    explicit Scope(const char* name) noexcept {
        if (const Hooks::BeginScope begin = g_hooks.beginScope.load(std::memory_order_acquire)) {
            begin(name);
            m_began = true;
        }
    }
    ~Scope() {
        if (!m_began)
            return;
        if (const Hooks::EndScope end = g_hooks.endScope.load(std::memory_order_acquire))
            end();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    bool m_began = false;
};

} // namespace ZEL::Profiler
