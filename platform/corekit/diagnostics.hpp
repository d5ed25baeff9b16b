#pragma once
// Diagnostic messages and assertions of the engine core.
//
// Every message goes through one replaceable sink (stderr by default) so that
// tests and tools can capture what the library reports. Assertions report and
// then let the program continue: an editor must not die on a broken invariant.

#include <cstdarg>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Kor {

// Message priorities: 4 is a warning, 5 an error, 6 a broken assertion.
enum MessagePriority : int {
    MESSAGE_PRIORITY_TRACE = 0,
    MESSAGE_PRIORITY_DEBUG = 1,
    MESSAGE_PRIORITY_INFO = 2,
    MESSAGE_PRIORITY_NOTICE = 3,
    MESSAGE_PRIORITY_WARNING = 4,
    MESSAGE_PRIORITY_ERROR = 5,
    MESSAGE_PRIORITY_CRITICAL = 6,
};

struct DebugMessage {
    int priority = MESSAGE_PRIORITY_ERROR;
    std::string category;
    std::string text;
};

using MessageSink = std::function<void(const DebugMessage&)>;

// Installs `sink` (an empty one restores the stderr sink); returns the previous sink.
MessageSink setMessageSink(MessageSink sink);

// Sends a finished message to the current sink.
void postMessage(const DebugMessage& message);

// Writes printf-formatted messages with a fixed priority and category.
class DebugMessageHelper {
public:
    explicit DebugMessageHelper(int priority = MESSAGE_PRIORITY_ERROR, const char* category = "")
        : m_priority(priority), m_category(category ? category : "") {}

    void message(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void vmessage(const char* format, va_list args) const;
    // Posts `text` as it is: for text made at run time, which must not be
    // taken for a format.
    void text(std::string_view text) const;

    int priority() const { return m_priority; }
    const char* category() const { return m_category; }

private:
    int m_priority;
    const char* m_category;
};

// Shorthands for the two levels the library reports caller errors with.
void errorMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void warningMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Report a broken assertion (priority 6, empty category). The dev variant is
// for invariants that only developers of the engine can break.
void criticalMessage(const char* file, int line, const char* text);
void devCriticalMessage(const char* file, int line, const char* text);

// Builds "ASSERTION FAILED: <expr>\r\n<file>(<line>)[\r\n<explanation>]\r\n"
// and reports it through criticalMessage. `explanation` may be null.
void assertionFailed(const char* expression, const char* file, int line, const char* explanation);
// Same with a printf-formatted explanation line.
void assertionFailedFormat(const char* expression, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Collects every message posted while it lives (and still forwards nothing):
// the tool tests use to assert on diagnostics.
//
// Captures are meant to nest. One destroyed while it is not the current sink
// (A and B created, A destroyed before B) cannot take itself out of the
// chain; it turns into a relay to the sink it replaced, so messages reach
// the right place whatever the order of destruction.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    std::vector<DebugMessage> messages() const;
    size_t count() const;
    // Whether any captured message text contains `needle`.
    bool contains(std::string_view needle) const;
    // Number of captured messages whose text contains `needle`.
    size_t countContaining(std::string_view needle) const;
    void clear();

private:
    struct State;
    struct Relay;
    // Shared with the sink installed: the sink may outlive this object.
    std::shared_ptr<State> m_state;
};

} // namespace Kor

// The expression text is the point of these macros; nothing else can supply it.
#define KOR_ASSERT(expr) ((expr) ? (void)0 : ::Kor::assertionFailed(#expr, __FILE__, __LINE__, nullptr))
#define KOR_ASSERT_MSG(expr, ...) \
    ((expr) ? (void)0 : ::Kor::assertionFailedFormat(#expr, __FILE__, __LINE__, __VA_ARGS__))
// The same, answering whether `expr` held, for code that reports a broken
// invariant and then backs out:  if (!KOR_VERIFY(prop)) return {};
#define KOR_VERIFY(expr) \
    (static_cast<bool>(expr) || (::Kor::assertionFailed(#expr, __FILE__, __LINE__, nullptr), false))
#define KOR_VERIFY_MSG(expr, ...) \
    (static_cast<bool>(expr) || (::Kor::assertionFailedFormat(#expr, __FILE__, __LINE__, __VA_ARGS__), false))
