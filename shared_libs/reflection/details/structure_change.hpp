#pragma once
// Structure changes made from inside the announcement of another structure
// change of the same object are refused: the announced positions would no
// longer be the ones the outer change then makes, and every listener that
// keeps per-position state (object data, context data, views) would drift.
// Changes made from the final notifications (added, removed, changed) are
// fine: by then the outer change is complete.

#include <utility>

namespace orv {

class ReflectedObject;

namespace structure_change_details {

// Marks `object` as announcing a structure change on this thread until
// release() or destruction.
class Announcing {
public:
    explicit Announcing(const ReflectedObject& object);
    ~Announcing() { release(); }
    Announcing(const Announcing&) = delete;
    Announcing& operator=(const Announcing&) = delete;

    void release() noexcept;

    // True (and reported as an error naming `operation`) while a structure
    // change of `object` is being announced on this thread.
    [[nodiscard]] static bool refuses(const ReflectedObject& object, const char* operation);

private:
    const void* m_object;
    bool m_active = true;
};

// A notifier that announces with its object marked; the mark goes as soon
// as the announcement is over, so the final notifications may change the
// object again.
template <class Notifier>
class AnnouncedChange : private Announcing, public Notifier {
public:
    template <class... Args>
    explicit AnnouncedChange(const ReflectedObject& object, Args&&... args)
        : Announcing(object), Notifier(object, std::forward<Args>(args)...) {
        release();
    }
};

} // namespace structure_change_details
} // namespace orv
