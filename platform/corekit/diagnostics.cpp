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
    static SinkState state;
    return state;
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
    if (sink)
        sink(message);
    else
        writeToStderr(message);
}

void DebugMessageHelper::vmessage(const char* format, va_list args) const {
    postMessage(DebugMessage{m_priority, m_category, kor_vformat(format, args)});
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

void devCriticalMessage(const char* file, int line, const char* text) {
    criticalMessage(file, line, text);
}

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

MessageCapture::MessageCapture()
    : m_previous(setMessageSink([this](const DebugMessage& message) {
          std::lock_guard lock(m_mutex);
          m_messages.push_back(message);
      })) {}

MessageCapture::~MessageCapture() { setMessageSink(std::move(m_previous)); }

std::vector<DebugMessage> MessageCapture::messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

size_t MessageCapture::count() const {
    std::lock_guard lock(m_mutex);
    return m_messages.size();
}

bool MessageCapture::contains(std::string_view needle) const { return countContaining(needle) > 0; }

size_t MessageCapture::countContaining(std::string_view needle) const {
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (const DebugMessage& m : m_messages)
        if (m.text.find(needle) != std::string::npos)
            ++n;
    return n;
}

void MessageCapture::clear() {
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

} // namespace Kor
