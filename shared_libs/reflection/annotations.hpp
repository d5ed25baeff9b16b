#pragma once
// Editor metadata attached to types, properties and methods: annotation
// values (each a tavi::Variant holding an annotation struct) grouped by the
// name of their type, oldest first within one type.
//
// Containers are handed out by value all over the library, so the body is
// shared and copied only when a container that shares it is modified.
// Iterators hold the body too: modifying a container while iterating it
// detaches the container and leaves the iteration untouched.

#include "platform/corekit/stack_tracker.hpp"
#include "platform/corekit/string_ref.hpp"
#include "platform/variant/variant.hpp"

#include <boost/range/iterator_range.hpp>

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <list>
#include <memory>
#include <typeinfo>
#include <unordered_map>

namespace orv {

class Annotations;

// Marks an annotation type that is also callable, so that the declaration
// builder never takes it for a setter:
//   template <> inline constexpr bool orv::callableAnnotation<MyAnnotation> = true;
template <class T>
inline constexpr bool callableAnnotation = false;

template <class T>
const T* findAnnotation(const Annotations& annotations);

class Annotations {
    struct Impl;
    using Values = std::list<tavi::Variant>;
    // Keys refer to MetaType names, which live as long as their types.
    using Map = std::unordered_map<Kor::BasicStringRef<char>, Values, Kor::StringRefHash>;

public:
    using Key = Kor::BasicStringRef<char>;

    // Walks values key by key, each key's values oldest first. The default
    // iterator is the end and is not valid.
    class untyped_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = tavi::Variant;
        using difference_type = std::ptrdiff_t;
        using pointer = const tavi::Variant*;
        using reference = const tavi::Variant&;

        untyped_iterator() noexcept = default;

        // The end has no value: reported, and a void Variant stands in.
        reference operator*() const { return m_impl ? *m_value : endValue(); }
        pointer operator->() const { return &**this; }

        [[nodiscard]] bool isValid() const noexcept { return m_impl != nullptr; }
        explicit operator bool() const noexcept { return isValid(); }

        untyped_iterator& operator++();
        untyped_iterator operator++(int);

        friend bool operator==(const untyped_iterator& a, const untyped_iterator& b) noexcept {
            // Positions are compared only within one body.
            return a.m_impl == b.m_impl && (!a.m_impl || (a.m_key == b.m_key && a.m_value == b.m_value));
        }

    private:
        friend class Annotations;

        untyped_iterator(std::shared_ptr<Impl> impl, Map::const_iterator key,
                         Values::const_iterator value) noexcept
            : m_impl(std::move(impl)), m_key(key), m_value(value) {}
        // Moves to the first value of `key` or of the next key that has
        // values; past the last key the iterator becomes the end.
        void settleAt(Map::const_iterator key) noexcept;
        const tavi::Variant& endValue() const;

        std::shared_ptr<Impl> m_impl;
        Map::const_iterator m_key{};
        Values::const_iterator m_value{};
    };
    using iterator = untyped_iterator;
    using const_iterator = untyped_iterator;

    Annotations() noexcept = default;
    Annotations(const Annotations& other) noexcept = default;
    Annotations(Annotations&& other) noexcept = default;
    // Adds each value in order, as += does.
    Annotations(std::initializer_list<tavi::Variant> values);
    ~Annotations() = default;

    Annotations& operator=(const Annotations& other) noexcept;
    Annotations& operator=(Annotations&& other) noexcept;

    // Appends `value` under the name of its type. A void value has no type
    // to file it under: reported, and nothing is added.
    Annotations& operator+=(tavi::Variant value);
    // Appends every value of `other` after the values of the same type
    // here; duplicates stay. Pass an rvalue to move the values instead of
    // copying them when nothing else shares `other`.
    Annotations& operator+=(Annotations other);

    // The most recently added value under `key`, or the end.
    [[nodiscard]] untyped_iterator find(Key key) const;
    // The values under `key`, oldest first; empty when the key is absent.
    [[nodiscard]] boost::iterator_range<untyped_iterator> equal_range(Key key) const;
    [[nodiscard]] bool contain(Key key) const;
    // Removes the most recently added value under `key` (and the key with
    // its last value); false when there is none.
    bool remove(Key key);

    [[nodiscard]] untyped_iterator begin() const;
    [[nodiscard]] untyped_iterator end() const noexcept { return {}; }
    [[nodiscard]] bool empty() const;
    // Cheap test for a container that never held anything (the common case
    // of a member declared without annotations): lookups can stop here.
    [[nodiscard]] bool isBlank() const noexcept { return !m_impl; }
    // Drops this container's share of the body; other copies keep theirs.
    void clear();

private:
    template <class T>
    friend const T* findAnnotation(const Annotations& annotations);

    // The entry of `key`, or the map's end (the body must exist).
    Map::const_iterator lookup(Key key) const;
    // The latest value under `key` without touching reference counts; the
    // pointer lives as long as this container is neither changed nor gone.
    const tavi::Variant* latest(Key key) const;
    // Makes this container the sole owner of a body it may modify.
    Impl& detach();

    std::shared_ptr<Impl> m_impl;
};

// --- typed access ---
//
// Values of T are filed under the name of T's MetaType. A value under that
// name that is not a T (two types registered under one name) raises
// tavi::CastError when it is read as a T.

namespace annotations_details {
[[noreturn]] void throwCastError(const tavi::Variant& value, const std::type_info& wanted);
} // namespace annotations_details

template <class T>
Annotations::Key annotationKey() {
    return Annotations::Key(tavi::MetaType::of<T>()->name());
}

template <class T>
const T& annotationCast(const tavi::Variant& value) {
    if (const T* typed = value.castPtr<T>())
        return *typed;
    annotations_details::throwCastError(value, typeid(T));
}

// Reads the values of one key as T, lazily: a value that is not a T throws
// only when it is reached. Holds the body, so it may outlive the container.
template <class T>
class AnnotationIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    AnnotationIterator() noexcept = default;
    explicit AnnotationIterator(Annotations::untyped_iterator position) noexcept
        : m_position(std::move(position)) {}

    reference operator*() const { return annotationCast<T>(*m_position); }
    pointer operator->() const { return &**this; }
    AnnotationIterator& operator++() {
        ++m_position;
        return *this;
    }
    AnnotationIterator operator++(int) {
        AnnotationIterator previous(*this);
        ++m_position;
        return previous;
    }
    friend bool operator==(const AnnotationIterator& a, const AnnotationIterator& b) noexcept {
        return a.m_position == b.m_position;
    }

private:
    Annotations::untyped_iterator m_position;
};

template <class T>
using AnnotationRange = boost::iterator_range<AnnotationIterator<T>>;

// Every T, oldest first.
template <class T>
AnnotationRange<T> annotationsOf(const Annotations& annotations) {
    if (annotations.isBlank())
        return {};
    const auto range = annotations.equal_range(annotationKey<T>());
    return AnnotationRange<T>(AnnotationIterator<T>(range.begin()), AnnotationIterator<T>(range.end()));
}

// The latest T, or null. The result points into `annotations`, hence the
// deleted overload below: read a temporary through a named copy.
template <class T>
const T* findAnnotation(const Annotations& annotations) {
    if (annotations.isBlank())
        return nullptr;
    Kor::StackTracker::Frame frame("orv::findAnnotation");
    const tavi::Variant* value = annotations.latest(annotationKey<T>());
    return value ? &annotationCast<T>(*value) : nullptr;
}
template <class T>
const T* findAnnotation(const Annotations&& annotations) = delete;

template <class T>
bool hasAnnotation(const Annotations& annotations) {
    return !annotations.isBlank() && annotations.contain(annotationKey<T>());
}

} // namespace orv
