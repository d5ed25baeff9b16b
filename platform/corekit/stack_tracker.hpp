#pragma once
// Per-thread diagnostic call stack of the library's public operations.
//
// The frames live in fixed per-thread storage that is never destroyed, so
// frames may still be pushed from static and thread-local destructors (a meta
// object unregistering itself at unload). Frames deeper than CAPACITY are
// counted but not recorded.

#include <cstddef>
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

    // One thread's frames. Trivially destructible on purpose: a thread_local
    // with a destructor is gone before the static destructors run, and those
    // may still push frames.
    struct Frames {
        Entry entries[CAPACITY];
        size_t depth; // may exceed CAPACITY; the excess is not recorded

        void push(const char* function, const char* file, int line) noexcept {
            if (depth < CAPACITY)
                entries[depth] = Entry{function ? function : "?", file ? file : "?", line};
            ++depth;
        }
        void pop() noexcept;
    };
    // This thread's frames. Inline: a frame is pushed by every public
    // operation, and a call into this library per frame would cost more than
    // the frame itself.
    static Frames& current() noexcept;

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

    // RAII frame: pushes on construction, pops on destruction. It finds the
    // thread's frames once: thread-local lookups are what a frame costs. The
    // caller's file and line come from the compiler's builtins rather than
    // std::source_location, which clang 14 (the fuzzers' compiler) lacks
    // with this standard library.
    class Frame {
    public:
        explicit Frame(const char* function, const char* file = __builtin_FILE(), int line = __builtin_LINE())
            : m_frames(&current()) {
            // Kept, not looked up again: the compiler would otherwise call
            // the thread-local resolver on every access to the frames.
            asm("" : "+r"(m_frames));
            Frames* const frames = m_frames;
            const size_t depth = frames->depth;
            if (depth < CAPACITY)
                frames->entries[depth] = Entry{function ? function : "?", file ? file : "?", line};
            frames->depth = depth + 1;
        }
        ~Frame() {
            Frames* const frames = m_frames;
            if (frames->depth > 0)
                --frames->depth;
            else
                frames->pop();
        }
        Frame(const Frame&) = delete;
        Frame& operator=(const Frame&) = delete;

    private:
        Frames* m_frames;
    };
};

namespace stack_tracker_details {
// Constant-initialised and trivially destructible, so that reading it from
// another library is a plain thread-local access, with no initialisation
// wrapper to call first.
extern thread_local constinit StackTracker::Frames t_frames;
} // namespace stack_tracker_details

inline StackTracker::Frames& StackTracker::current() noexcept { return stack_tracker_details::t_frames; }

} // namespace Kor
