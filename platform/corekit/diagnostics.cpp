#include "platform/corekit/diagnostics.hpp"

#include "platform/corekit/format.hpp"

#include <cstdio>
#include <utility>

namespace Kor {
namespace {

void writeToStderr(const DebugMessage& message) {
    if (message.category.empty())
        std::fprintf(stderr, "[%d] %s", message.priority, message.text.c_str());
    else
        std::fprintf(stderr, "[%d] %s: %s", message.priority, message.category.c_str(), message.text.c_str());
    if (message.text.empty() || message.text.back() != '\n')
        std::fputc('\n', stderr);
}

struct SinkState {
    std::mutex mutex;
    MessageSink sink;
};

SinkState& sinkState() {
    // Never destroyed: static destructors that run after this one would
    // otherwise report through a dead sink.
    static SinkState* const state = new SinkState;
    return *state;
}

void deliver(const MessageSink& sink, const DebugMessage& message) {
    if (sink)
        sink(message);
    else
        writeToStderr(message);
}

} // namespace

MessageSink setMessageSink(MessageSink sink) {
    SinkState& state = sinkState();
    std::lock_guard lock(state.mutex);
    return std::exchange(state.sink, std::move(sink));
}

void postMessage(const DebugMessage& message) {
    SinkState& state = sinkState();
    MessageSink sink;
    {
        std::lock_guard lock(state.mutex);
        sink = state.sink;
    }
    // Called unlocked so that a sink may itself report or swap sinks.
    deliver(sink, message);
}

void DebugMessageHelper::vmessage(const char* format, va_list args) const {
    postMessage(DebugMessage{m_priority, m_category, kor_vformat(format, args)});
}

void DebugMessageHelper::text(std::string_view text) const {
    postMessage(DebugMessage{m_priority, m_category, std::string(text)});
}

void DebugMessageHelper::message(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    vmessage(format, args);
    va_end(args);
}

void errorMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    DebugMessageHelper(MESSAGE_PRIORITY_ERROR).vmessage(format, args);
    va_end(args);
}

void warningMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    DebugMessageHelper(MESSAGE_PRIORITY_WARNING).vmessage(format, args);
    va_end(args);
}

void criticalMessage(const char*, int, const char* text) {
    postMessage(DebugMessage{MESSAGE_PRIORITY_CRITICAL, "", text ? text : ""});
}

void devCriticalMessage(const char* file, int line, const char* text) { criticalMessage(file, line, text); }

void assertionFailed(const char* expression, const char* file, int line, const char* explanation) {
    const bool explained = explanation && *explanation;
    const std::string text = kor_format("ASSERTION FAILED: %s\r\n%s(%d)%s%s\r\n", expression, file, line,
                                        explained ? "\r\n" : "", explained ? explanation : "");
    criticalMessage(file, line, text.c_str());
}

void assertionFailedFormat(const char* expression, const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string explanation = kor_vformat(format, args);
    va_end(args);
    assertionFailed(expression, file, line, explanation.c_str());
}

struct MessageCapture::State {
    std::mutex mutex;
    std::vector<DebugMessage> messages;
    MessageSink previous;
    bool closed = false; // the capture is gone: relay to `previous`
};

// The sink a capture installs. It owns the state, so it stays valid in
// whatever sink chain it is left in.
struct MessageCapture::Relay {
    std::shared_ptr<State> state;

    void operator()(const DebugMessage& message) const {
        MessageSink previous;
        {
            std::lock_guard lock(state->mutex);
            if (!state->closed) {
                state->messages.push_back(message);
                return;
            }
            previous = state->previous;
        }
        deliver(previous, message);
    }
};

MessageCapture::MessageCapture() : m_state(std::make_shared<State>()) {
    std::lock_guard lock(m_state->mutex);
    m_state->previous = setMessageSink(Relay{m_state});
}

MessageCapture::~MessageCapture() {
    MessageSink previous;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->closed = true;
        previous = m_state->previous;
    }
    // Only a capture that is still the current sink can hand the place back;
    // any other one was replaced meanwhile and stays behind as a relay.
    SinkState& sinks = sinkState();
    MessageSink removed; // released after unlocking: it may own other captures' states
    {
        std::lock_guard lock(sinks.mutex);
        const Relay* current = sinks.sink.target<Relay>();
        if (current && current->state == m_state)
            removed = std::exchange(sinks.sink, std::move(previous));
    }
}

std::vector<DebugMessage> MessageCapture::messages() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->messages;
}

size_t MessageCapture::count() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->messages.size();
}

bool MessageCapture::contains(std::string_view needle) const { return countContaining(needle) > 0; }

size_t MessageCapture::countContaining(std::string_view needle) const {
    std::lock_guard lock(m_state->mutex);
    size_t n = 0;
    for (const DebugMessage& m : m_state->messages)
        if (m.text.find(needle) != std::string::npos)
            ++n;
    return n;
}

void MessageCapture::clear() {
    std::lock_guard lock(m_state->mutex);
    m_state->messages.clear();
}

} // namespace Kor
