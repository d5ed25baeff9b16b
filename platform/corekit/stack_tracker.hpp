#pragma once
// Per-thread diagnostic call stack of the library's public operations.
//
// The frames live in fixed per-thread storage that is never destroyed, so
// frames may still be pushed from static and thread-local destructors (a meta
// object unregistering itself at unload). Frames deeper than CAPACITY are
// counted but not recorded.

#include <cstddef>
#include <source_location>
#include <string>
#include <vector>

namespace Kor {

class StackTracker {
public:
    struct Entry {
        const char* function;
        const char* file;
        int line;
    };

    static constexpr size_t CAPACITY = 256;

    // A null function or file is recorded as "?".
    static void push(const char* function, const char* file, int line);
    static void pop();
    // Frames open on this thread, including those beyond CAPACITY.
    static size_t depth();
    // The current thread's recorded frames, outermost first (at most CAPACITY).
    static std::vector<Entry> frames();
    // "function (file:line)" lines, innermost first: for crash reports. A
    // first line tells how many deeper frames were not recorded, if any.
    static std::string dump();

    // RAII frame: pushes on construction, pops on destruction.
    class Frame {
    public:
        explicit Frame(const char* function, std::source_location where = std::source_location::current()) {
            StackTracker::push(function, where.file_name(), static_cast<int>(where.line()));
        }
        ~Frame() { StackTracker::pop(); }
        Frame(const Frame&) = delete;
        Frame& operator=(const Frame&) = delete;
    };
};

} // namespace Kor
