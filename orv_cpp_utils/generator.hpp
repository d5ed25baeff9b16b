#pragma once
// zel::Generator<T>: a lazily evaluated sequence written as a coroutine.
//
//     zel::Generator<int> count(int n) {
//         for (int i = 0; i < n; ++i)
//             co_yield i;
//     }
//     zel::Generator<int> twice(int n) {
//         co_yield zel::yieldAll(count(n));
//         co_yield zel::yieldAll(count(n));
//     }
//     for (int i : twice(3)) ...
//
// The body runs only as far as the consumer has iterated. `yieldAll` hands the
// elements of another generator through without copying them level by level:
// the consumer resumes the innermost active generator directly, so recursive
// generators cost O(1) per element whatever their depth. Entering and leaving
// a nested generator goes back through a loop in the consumer's resume rather
// than through nested calls, so deep chains need no deep stack either (even
// where symmetric transfer is not a tail call, as in unoptimised builds).
//
// An exception that leaves a nested generator is rethrown inside the generator
// that yields it (where it may be caught); one that leaves the outermost body
// reaches the consumer from begin() or operator++, after which the sequence
// has ended. Destroying a generator that has not run to the end destroys its
// suspended body and, with it, every nested generator it was yielding from.

#include <coroutine>
#include <cstddef>
#include <exception>
#include <iterator>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace zel {

template <typename T>
class Generator;

// Marks a generator whose elements `co_yield` passes on (see above).
template <typename T>
struct YieldAll {
    Generator<T> generator;
};

template <typename T>
YieldAll<T> yieldAll(Generator<T>&& generator) noexcept {
    return YieldAll<T>{std::move(generator)};
}

template <typename T>
class Generator {
    static_assert(!std::is_reference_v<T>, "zel::Generator yields values; use a pointer for references");

public:
    using value_type = std::remove_cv_t<T>;
    using reference = T&;

    class promise_type;
    class iterator;

    Generator() noexcept = default;
    Generator(Generator&& other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Generator& operator=(Generator&& other) noexcept {
        if (this != &other) {
            destroy();
            m_handle = std::exchange(other.m_handle, {});
        }
        return *this;
    }
    Generator(const Generator&) = delete;
    Generator& operator=(const Generator&) = delete;
    ~Generator() { destroy(); }

    // Runs the body up to its first element on first use; later calls return
    // the current position. A generator is a single pass.
    iterator begin() {
        if (m_handle && !m_handle.promise().m_started)
            m_handle.promise().advance();
        return iterator(m_handle);
    }
    std::default_sentinel_t end() const noexcept { return {}; }

private:
    using Handle = std::coroutine_handle<promise_type>;
    friend class promise_type;

    explicit Generator(Handle handle) noexcept : m_handle(handle) {}

    // A root destroys its active chain innermost first, one frame at a time;
    // destroying it from the top would recurse once per nesting level.
    void destroy() noexcept {
        if (!m_handle)
            return;
        promise_type& top = m_handle.promise();
        if (!top.m_parent) {
            for (promise_type* p = top.m_leaf; p != &top;) {
                promise_type* const parent = p->m_parent;
                *p->m_owner = {}; // its parent no longer owns it
                Handle::from_promise(*p).destroy();
                p = parent;
            }
        }
        std::exchange(m_handle, {}).destroy();
    }

    Handle m_handle;
};

// Every body in a chain of nested generators has a promise. The outermost one
// (the root) knows the innermost body that is running (the leaf); each nested
// promise knows its root and the generator that yields from it (its parent).
template <typename T>
class Generator<T>::promise_type {
public:
    Generator get_return_object() noexcept { return Generator(Handle::from_promise(*this)); }

    std::suspend_always initial_suspend() const noexcept { return {}; }

    auto final_suspend() noexcept {
        // A finished nested body hands control back to its parent.
        struct FinalAwaiter {
            bool await_ready() const noexcept { return false; }
            void await_suspend(Handle finished) noexcept {
                promise_type& self = finished.promise();
                if (self.m_parent)
                    self.m_root->switchTo(self.m_parent);
            }
            void await_resume() const noexcept {}
        };
        return FinalAwaiter{};
    }

    std::suspend_always yield_value(value_type& value) noexcept {
        m_value = std::addressof(value);
        return {};
    }
    std::suspend_always yield_value(value_type&& value) noexcept {
        m_value = std::addressof(value);
        return {};
    }
    // A const lvalue cannot be handed out as T&; keep a copy for the consumer.
    std::suspend_always yield_value(
        const value_type& value) requires std::is_copy_constructible_v<value_type> {
        m_copy.emplace(value);
        m_value = std::addressof(*m_copy);
        return {};
    }

    auto yield_value(YieldAll<T> nested) noexcept {
        struct NestedAwaiter {
            Generator inner;

            bool await_ready() const noexcept { return !inner.m_handle || inner.m_handle.done(); }

            void await_suspend(Handle outer) noexcept {
                promise_type& parent = outer.promise();
                promise_type& child = inner.m_handle.promise();
                promise_type* const root = parent.m_root;
                // `inner` may itself be a root with nested bodies of its own
                // (and even partly consumed): re-root its whole active chain.
                for (promise_type* p = child.m_leaf; p != &child; p = p->m_parent)
                    p->m_root = root;
                child.m_root = root;
                child.m_parent = &parent;
                child.m_owner = &inner.m_handle;
                if (child.m_started) {
                    root->m_leaf = child.m_leaf; // its current element is next
                } else {
                    child.m_started = true;
                    root->switchTo(&child);
                }
            }

            void await_resume() {
                if (inner.m_handle && inner.m_handle.promise().m_exception)
                    std::rethrow_exception(std::exchange(inner.m_handle.promise().m_exception, nullptr));
            }
        };
        return NestedAwaiter{std::move(nested.generator)};
    }

    void return_void() const noexcept {}

    void unhandled_exception() noexcept { m_exception = std::current_exception(); }

    // Coroutine bodies must not co_await anything but yields.
    template <typename U>
    std::suspend_never await_transform(U&&) = delete;

private:
    friend class Generator;
    friend class iterator;

    // Root only: resume the innermost running body until one yields or the
    // whole chain ends; then hand an escaped exception to the consumer.
    void advance() {
        if (Handle::from_promise(*this).done())
            return;
        m_started = true;
        do {
            m_switched = false;
            Handle::from_promise(*m_leaf).resume();
        } while (m_switched);
        if (m_exception)
            std::rethrow_exception(std::exchange(m_exception, nullptr));
    }

    // Root only: `leaf` runs next, without the consumer seeing an element.
    void switchTo(promise_type* leaf) noexcept {
        m_leaf = leaf;
        m_switched = true;
    }

    T& current() const noexcept { return *m_leaf->m_value; }

    promise_type* m_root = this;
    promise_type* m_parent = nullptr;
    promise_type* m_leaf = this;
    Handle* m_owner = nullptr; // nested only: the parent's handle to this body
    T* m_value = nullptr;
    std::optional<value_type> m_copy;
    std::exception_ptr m_exception;
    bool m_started = false;
    bool m_switched = false;
};

template <typename T>
class Generator<T>::iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using iterator_concept = std::input_iterator_tag;
    using value_type = Generator::value_type;
    using reference = Generator::reference;
    using difference_type = std::ptrdiff_t;

    iterator() noexcept = default;

    reference operator*() const noexcept { return m_handle.promise().current(); }
    T* operator->() const noexcept { return std::addressof(**this); }

    iterator& operator++() {
        m_handle.promise().advance();
        return *this;
    }
    void operator++(int) { ++*this; }

    friend bool operator==(const iterator& it, std::default_sentinel_t) noexcept {
        return !it.m_handle || it.m_handle.done();
    }

private:
    friend class Generator;
    explicit iterator(Handle handle) noexcept : m_handle(handle) {}

    Handle m_handle;
};

} // namespace zel
