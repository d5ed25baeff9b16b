#pragma once
// Per-thread diagnostic call stack of the library's public operations.

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

    static void push(const char* function, const char* file, int line);
    static void pop();
    static size_t depth();
    // The current thread's frames, outermost first.
    static std::vector<Entry> frames();
    // "function (file:line)" lines, innermost first: for crash reports.
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
