#pragma once
// Optional profiler hooks. The engine's profiler installs them; when a hook
// is not set, a scope costs two pointer tests.

namespace ZEL::Profiler {

struct Hooks {
    void (*beginScope)(const char* name) = nullptr;
    void (*endScope)() = nullptr;
};

extern Hooks g_hooks;

// RAII named scope; `name` must outlive the scope (string literals do).
class Scope {
public:
    explicit Scope(const char* name) noexcept {
        if (g_hooks.beginScope)
            g_hooks.beginScope(name);
    }
    ~Scope() {
        if (g_hooks.endScope)
            g_hooks.endScope();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace ZEL::Profiler
