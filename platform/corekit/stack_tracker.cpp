#include "platform/corekit/stack_tracker.hpp"

#include "platform/corekit/diagnostics.hpp"

namespace Kor {

thread_local constinit StackTracker::Frames stack_tracker_details::t_frames{};

namespace {

using stack_tracker_details::t_frames;

size_t recorded() {
    return t_frames.depth < StackTracker::CAPACITY ? t_frames.depth : StackTracker::CAPACITY;
}

} // namespace

void StackTracker::Frames::pop() noexcept {
    KOR_ASSERT(depth > 0);
    if (depth > 0)
        --depth;
}

void StackTracker::push(const char* function, const char* file, int line) {
    t_frames.push(function, file, line);
}

void StackTracker::pop() { t_frames.pop(); }

size_t StackTracker::depth() { return t_frames.depth; }

std::vector<StackTracker::Entry> StackTracker::frames() {
    return std::vector<Entry>(t_frames.entries, t_frames.entries + recorded());
}

std::string StackTracker::dump() {
    std::string out;
    if (t_frames.depth > CAPACITY)
        out.append("(")
            .append(std::to_string(t_frames.depth - CAPACITY))
            .append(" deeper frames not recorded)\n");
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
