#include "platform/corekit/stack_tracker.hpp"

#include "platform/corekit/diagnostics.hpp"

namespace Kor {
namespace {

// Trivially destructible on purpose: a thread_local with a destructor is gone
// before the static destructors run, and those may still push frames.
struct ThreadFrames {
    StackTracker::Entry entries[StackTracker::CAPACITY];
    size_t depth;  // may exceed CAPACITY; the excess is not recorded
};
thread_local ThreadFrames t_frames;

size_t recorded() { return t_frames.depth < StackTracker::CAPACITY ? t_frames.depth : StackTracker::CAPACITY; }

} // namespace

void StackTracker::push(const char* function, const char* file, int line) {
    if (t_frames.depth < CAPACITY)
        t_frames.entries[t_frames.depth] = Entry{function ? function : "?", file ? file : "?", line};
    ++t_frames.depth;
}

void StackTracker::pop() {
    KOR_ASSERT(t_frames.depth > 0);
    if (t_frames.depth > 0)
        --t_frames.depth;
}

size_t StackTracker::depth() { return t_frames.depth; }

std::vector<StackTracker::Entry> StackTracker::frames() {
    return std::vector<Entry>(t_frames.entries, t_frames.entries + recorded());
}

std::string StackTracker::dump() {
    std::string out;
    if (t_frames.depth > CAPACITY)
        out += "(" + std::to_string(t_frames.depth - CAPACITY) + " deeper frames not recorded)\n";
    for (size_t i = recorded(); i-- > 0;) {
        const Entry& entry = t_frames.entries[i];
        out += entry.function;
        out += " (";
        out += entry.file;
        out += ':';
        out += std::to_string(entry.line);
        out += ")\n";
    }
    return out;
}

} // namespace Kor
