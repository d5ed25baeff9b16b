#pragma once
// Static meta objects: the descriptions of compiled types, declared once per
// type and registered when the module that declares them loads.
//
//   struct Shape { virtual ~Shape() = default; std::string name; float area() const; };
//   struct Circle : Shape {
//       float radius = 1;
//       Style style;                                   // declared with its own TypeDeclaration
//       const Kor::Vector3& getCenter() const;
//       void setCenter(const Kor::Vector3&);
//       float scaled(float factor) const;
//   };
//
//   template <>
//   struct orv::TypeDeclaration<Circle> {
//       static constexpr const char* name = "Circle";   // optional: the readable C++ name otherwise
//       using Bases = orv::Bases<Shape>;                  // optional; each base is declared too
//       static void declare(orv::Builder<Circle>& type) {
//           type.annotate(Meta::ToolTip("A round shape"))
//               .property("radius", &Circle::radius, Meta::Label::Text("Radius"))  // read and write
//               .property("center", &Circle::getCenter, &Circle::setCenter)
//               .property("area", &Shape::area)                                     // read-only
//               .property("diameter", [](const Circle* c) { return 2 * c->radius; })
//               .object("style", &Circle::style)                // a member object, edited in place
//               .group(Meta::Group("Advanced"), [](auto& type) {
//                   type.method("scaled", &Circle::scaled);
//               });
//       }
//   };
//
//   orv::ReflectedObject object = orv::reflect(circle);
//   orv::MetaObject& meta = orv::metaObjectOf<Circle>();
//
// Registration needs no list: a declaration names orv::Builder<T>, and that
// alone registers T when its module loads. So a Circle reached through a
// Shape* is seen as a Circle, and found by name, whatever code ran before.
// Declare each type in one module; other modules (plugins) that include the
// declaration share its meta object as long as the declaring module exports
// its symbols (an executable: -rdynamic). A second meta object for a type is
// reported when it registers.
//
// A property takes a key, a getter, an optional setter and any number of
// annotations (annotation values, or whole orv::Annotations). Getters are
// data members (read and write unless const), member functions without
// parameters, or callables taking `const T*` (or the bound property, or the
// owning ReflectedObject); setters are member functions with one parameter
// or callables taking `T*` and the value (and optionally the setter flags).
// Without a setter the property is read-only. A setter must take the value,
// so an annotation that happens to be callable is never taken for one: mark
// such a type with orv::callableAnnotation, or pass it in orv::Annotations{}.
// object() exposes a member object by pointer, so a panel can open it and
// edit it in place. property() of a data member whose type is declared does
// not compile: it is almost always meant as object(); a copied value takes
// a getter and a setter of its own (or Meta::Value).
// A method is a member function, a function-valued data member, or a callable
// taking `const T*` (or `T*`) first; its arguments are converted from the
// Variants passed.
//
// Annotation scopes: group(annotations, body) gives every member that `body`
// declares those annotations (before their own) and closes itself however
// body returns. push(annotations...) and pop() do the same in two calls; a
// declaration that leaves a pushed scope open is reported when the builder
// ends ("Missing META_POP"). A new scope starts as a copy of the enclosing
// one plus the given annotations, so nested scopes accumulate.
//
// Type annotations given with annotate() come before those inherited from
// the bases, as the bases' annotations are appended to the type's own.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/collection_meta_object.hpp"
#include "shared_libs/reflection/details/static_meta_object.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace Meta {
struct Value;
}

namespace orv {

class StaticMetaObjectImpl;

namespace static_meta_object_details {
class BuilderCore;
}

// A meta object with a flat, indexed property list that starts with every
// property inherited from the bases (in base order, a key declared by an
// earlier base wins), followed by the type's own. Indices are positions in
// that list; an own property with an inherited key replaces the inherited
// one in its place. N selects where structure signals go (see
// NotifyableMetaObject).
template <int N>
class BaseStaticMetaObject : public NotifyableMetaObject<N> {
public:
    BaseStaticMetaObject(const std::type_info& type, std::string name, Annotations annotations,
                         std::vector<MetaObject::BaseClass> baseClasses);
    ~BaseStaticMetaObject() override;

    // The type's annotations (its own, then its bases'), whatever the object.
    Annotations annotations(const tavi::Variant& object) override;
    // Position of `key` in the list; the object is not consulted.
    size_t indexOfProperty(const ReflectedObject& object, const tavi::Variant& key) const override;
    // The entry at `index`; past the end null, and `*remaining` = index - size.
    std::shared_ptr<MetaProperty> property(const ReflectedObject& object, size_t index,
                                           size_t* remaining) const override;

    using MetaObject::addProperty;
    using MetaObject::removeProperty;

protected:
    // Adds `property`, or replaces the entry with an equal key in place.
    std::shared_ptr<MetaProperty> addProperty(std::shared_ptr<MetaProperty> property);
    // Removes the entry with `key`; later entries move down. No notification.
    bool removeProperty(const tavi::Variant& key);

    StaticMetaObjectImpl& impl() const noexcept { return *m_impl; }

private:
    size_t findSelfProperty(const ReflectedObject& object, const tavi::Variant& key) const override;
    size_t indexOfPropertyByName(const ReflectedObject& object, std::string_view name) const override;

    std::unique_ptr<StaticMetaObjectImpl> m_impl;
};

extern template class BaseStaticMetaObject<0>;
extern template class BaseStaticMetaObject<1>;

// Specialised per type with `static void declare(orv::Builder<T>&)`, and
// optionally `static constexpr const char* name` and `using Bases = orv::Bases<...>`.
template <class T>
struct TypeDeclaration;

// The direct base classes of a declared type, in declaration order.
template <class... B>
struct Bases {};

template <class T>
concept DeclaredType = requires {
    &TypeDeclaration<T>::declare;
};

template <class T>
class StaticMetaObject;
template <class T>
StaticMetaObject<T>& metaObjectOf();

// The meta object of one declared type T, built when T's module loads (or
// earlier, by its first use): it copies the bases' properties, runs the
// declaration, registers itself, and unregisters when it is destroyed at
// unload. metaObjectOf<T>() returns it.
template <class T>
class StaticMetaObject final : public BaseStaticMetaObject<0> {
public:
    class Builder;

    ~StaticMetaObject() override;

    // A new default-constructed T held by a std::shared_ptr<T>; void when T
    // cannot be default-constructed.
    tavi::Variant create() override;
    // Whether `object` can be read as a `const T*`.
    bool objectMatches(const tavi::Variant& object) const override;

private:
    friend StaticMetaObject& metaObjectOf<T>();

    StaticMetaObject();

    // What registers T at load time: naming this class (every declaration
    // does, through orv::Builder<T>) instantiates the anchor, and the anchor
    // needs this flag, whose initialiser builds the meta object.
    static inline const bool s_registered = (metaObjectOf<T>(), true);
    using Anchor = static_meta_object_details::Anchor<&s_registered>;

    // False for a second meta object of T (reported, left out of the registry).
    bool m_registered = false;
};

template <class T>
using Builder = typename StaticMetaObject<T>::Builder;

namespace static_meta_object_details {

// The non-template part of every builder: annotation scopes and the making
// of meta properties.
class BuilderCore {
public:
    BuilderCore(const BuilderCore&) = delete;
    BuilderCore& operator=(const BuilderCore&) = delete;

protected:
    BuilderCore(MetaObject& metaObject, StaticMetaObjectImpl& list);
    // Reports a scope left open.
    ~BuilderCore();

    void annotateType(Annotations annotations);
    void pushScope(Annotations annotations);
    void popScope();
    // Open scopes, the outermost (the declaration's own) included.
    size_t scopeDepth() const noexcept { return annotations_.size(); }
    // Closes the scopes above `depth`; reports any the caller left open.
    void closeScopesAbove(size_t depth);
    void addProperty(std::string key, const std::type_info& type, Annotations annotations,
                     MetaProperty::Getter getter, MetaProperty::Setter setter);
    void addMethod(std::string key, Annotations annotations, MetaProperty::Method method);

private:
    MetaObject& m_metaObject;
    StaticMetaObjectImpl& m_list;
    Annotations m_typeAnnotations;
    Annotations m_inheritedAnnotations;
    // The scope stack, the innermost last; starts with one empty scope.
    std::vector<Annotations> annotations_;
    int m_exceptions;
};

} // namespace static_meta_object_details

// Handed to TypeDeclaration<T>::declare; every operation returns the builder.
template <class T>
class StaticMetaObject<T>::Builder : private static_meta_object_details::BuilderCore {
public:
    // Annotations of the type itself.
    template <static_meta_object_details::AnnotationValue... A>
    Builder& annotate(A&&... annotations) {
        annotateType(static_meta_object_details::annotationsOf(std::forward<A>(annotations)...));
        return *this;
    }

    // A property read by `getter`; writable when it is a non-const data member.
    template <class G, static_meta_object_details::AnnotationValue... A>
    requires(!static_meta_object_details::setterFirst<T, A...>) Builder& property(std::string key, G getter,
                                                                                  A&&... annotations) {
        static_assert(!std::is_member_object_pointer_v<G> ||
                          !DeclaredType<static_meta_object_details::GetterValue<T, G>> ||
                          (std::is_same_v<std::remove_cvref_t<A>, Meta::Value> || ...),
                      "this data member holds a declared type: write .object(key, &T::member) to edit it in "
                      "place through its own properties; to keep it one copied value, give a getter and a "
                      "setter of your own (or mark it Meta::Value)");
        MetaProperty::Setter setter;
        if constexpr (std::is_member_object_pointer_v<G> &&
                      !static_meta_object_details::ConstDataMember<T, G>)
            setter = static_meta_object_details::memberSetter<T>(getter);
        addProperty(std::move(key), typeid(static_meta_object_details::GetterValue<T, G>),
                    static_meta_object_details::annotationsOf(std::forward<A>(annotations)...),
                    static_meta_object_details::makeGetter<T>(std::move(getter)), std::move(setter));
        return *this;
    }

    // A property read by `getter` and written by `setter`.
    template <class G, static_meta_object_details::SetterFor<T> S,
              static_meta_object_details::AnnotationValue... A>
    Builder& property(std::string key, G getter, S setter, A&&... annotations) {
        addProperty(std::move(key), typeid(static_meta_object_details::GetterValue<T, G>),
                    static_meta_object_details::annotationsOf(std::forward<A>(annotations)...),
                    static_meta_object_details::makeGetter<T>(std::move(getter)),
                    static_meta_object_details::makeSetter<T>(std::move(setter)));
        return *this;
    }

    // A member object edited in place: the property holds a pointer to the
    // member (a const one when the owner is reached through a const
    // pointer), so the object made from the property is the member itself
    // and writes to its properties change the owner's member.
    template <class G, static_meta_object_details::AnnotationValue... A>
    requires std::is_member_object_pointer_v<G> Builder& object(std::string key, G member,
                                                                A&&... annotations) {
        using M = static_meta_object_details::GetterValue<T, G>;
        if constexpr (DeclaredType<M>)
            metaObjectOf<M>();
        addProperty(std::move(key), typeid(M),
                    static_meta_object_details::annotationsOf(std::forward<A>(annotations)...),
                    static_meta_object_details::makeMemberObjectGetter<T>(member), {});
        return *this;
    }

    // A std::vector member reflected as a collection: the object held by the
    // property is the vector itself, whose elements are its properties (keys
    // 0, 1, ...), read, written, added and removed with notifications and
    // undo. Elements of any value type convert on the way in; pointers to
    // declared types open as objects.
    template <class G, static_meta_object_details::AnnotationValue... A>
    requires std::is_member_object_pointer_v<G> Builder& collection(std::string key, G member,
                                                                    A&&... annotations) {
        using C = static_meta_object_details::GetterValue<T, G>;
        static_assert(collection_meta_object_details::StdVector<C>,
                      "collection() takes a std::vector member");
        SequentialCollectionMetaObject<C, 0>::instance();
        using Pointee = std::remove_cv_t<std::remove_pointer_t<typename C::value_type>>;
        if constexpr (std::is_pointer_v<typename C::value_type> && DeclaredType<Pointee>)
            metaObjectOf<Pointee>();
        addProperty(std::move(key), typeid(C),
                    static_meta_object_details::annotationsOf(std::forward<A>(annotations)...),
                    static_meta_object_details::makeMemberObjectGetter<T>(member), {});
        return *this;
    }

    template <class M, static_meta_object_details::AnnotationValue... A>
    Builder& method(std::string key, M callable, A&&... annotations) {
        addMethod(std::move(key), static_meta_object_details::annotationsOf(std::forward<A>(annotations)...),
                  static_meta_object_details::makeMethod<T>(std::move(callable)));
        return *this;
    }

    // The members `body` declares (body is called with this builder) take
    // `annotations` first; the scope closes when body returns or throws.
    template <static_meta_object_details::AnnotationValue A, std::invocable<Builder&> F>
    Builder& group(A&& annotations, F&& body) {
        const size_t depth = scopeDepth();
        pushScope(static_meta_object_details::annotationsOf(std::forward<A>(annotations)));
        const struct Close {
            Builder& builder;
            size_t depth;
            ~Close() { builder.closeScopesAbove(depth); }
        } close{*this, depth};
        std::invoke(std::forward<F>(body), *this);
        return *this;
    }

    // Opens an annotation scope: the enclosing scope's annotations plus these.
    template <static_meta_object_details::AnnotationValue... A>
    Builder& push(A&&... annotations) {
        pushScope(static_meta_object_details::annotationsOf(std::forward<A>(annotations)...));
        return *this;
    }
    // Closes the innermost scope.
    Builder& pop() {
        popScope();
        return *this;
    }

    StaticMetaObject& metaObject() const noexcept { return m_metaObject; }

private:
    friend class StaticMetaObject;

    explicit Builder(StaticMetaObject& metaObject)
        : BuilderCore(metaObject, metaObject.impl()), m_metaObject(metaObject) {}

    StaticMetaObject& m_metaObject;
};

namespace static_meta_object_details {

template <class T>
const char* declaredName() {
    if constexpr (requires { TypeDeclaration<T>::name; })
        return TypeDeclaration<T>::name;
    else
        return "";
}

template <class T, class... B>
std::vector<MetaObject::BaseClass> baseClassesOf(Bases<B...>) {
    // Braced lists are evaluated in order: the bases are built first to last.
    return {MetaObject::BaseClass(&metaObjectOf<B>(), baseOffset<T, B>())...};
}

template <class T>
std::vector<MetaObject::BaseClass> declaredBases() {
    if constexpr (requires { typename TypeDeclaration<T>::Bases; })
        return baseClassesOf<T>(typename TypeDeclaration<T>::Bases{});
    else
        return {};
}

} // namespace static_meta_object_details

template <class T>
StaticMetaObject<T>::StaticMetaObject()
    : BaseStaticMetaObject<0>(typeid(T), static_meta_object_details::declaredName<T>(), {},
                              static_meta_object_details::declaredBases<T>()) {
    {
        Builder builder(*this);
        TypeDeclaration<T>::declare(builder);
    }
    m_registered = static_meta_object_details::registerDeclared(*this);
}

template <class T>
StaticMetaObject<T>::~StaticMetaObject() {
    if (m_registered)
        MetaObjectManager::instance().unregisterType(this);
}

template <class T>
tavi::Variant StaticMetaObject<T>::create() {
    if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>)
        return tavi::Variant(std::make_shared<T>());
    else
        return {};
}

template <class T>
bool StaticMetaObject<T>::objectMatches(const tavi::Variant& object) const {
    const T* pointer = nullptr;
    return object.tryCast(pointer);
}

// The meta object of a declared type: made once, at load time or by the
// first use before that, and destroyed at unload.
template <class T>
StaticMetaObject<T>& metaObjectOf() {
    static_assert(DeclaredType<T>,
                  "declare the type first: specialise orv::TypeDeclaration<T> with a declare function");
    static StaticMetaObject<T> meta;
    return meta;
}

// A handle to `object`. The registry refines it to the most derived
// registered type.
template <class T>
ReflectedObject reflect(T& object) {
    metaObjectOf<std::remove_cv_t<T>>();
    return ReflectedObject(tavi::Variant(&object));
}

} // namespace orv

// The traditional spelling of closing an annotation scope, for declarations
// written in that style: META_POP(type) is type.pop().
#define META_POP(builder) (builder).pop()
