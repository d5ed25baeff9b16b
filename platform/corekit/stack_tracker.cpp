#include "platform/corekit/stack_tracker.hpp"

#include "platform/corekit/diagnostics.hpp"

namespace Kor {
namespace {
thread_local std::vector<StackTracker::Entry> t_frames;
}

void StackTracker::push(const char* function, const char* file, int line) {
    t_frames.push_back(Entry{function, file, line});
}

void StackTracker::pop() {
    KOR_ASSERT(!t_frames.empty());
    if (!t_frames.empty())
        t_frames.pop_back();
}

size_t StackTracker::depth() { return t_frames.size(); }

std::vector<StackTracker::Entry> StackTracker::frames() { return t_frames; }

std::string StackTracker::dump() {
    std::string out;
    for (auto it = t_frames.rbegin(); it != t_frames.rend(); ++it) {
        out += it->function;
        out += " (";
        out += it->file;
        out += ':';
        out += std::to_string(it->line);
        out += ")\n";
    }
    return out;
}

} // namespace Kor
