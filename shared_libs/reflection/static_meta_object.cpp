#include "shared_libs/reflection/static_meta_object.hpp"

#include <exception>

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/hash.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/details/library_types.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"

#include <boost/multi_index/hashed_index.hpp>
#include <boost/multi_index/random_access_index.hpp>
#include <boost/multi_index_container.hpp>

#include <functional>

namespace orv {

namespace generic_function_details {

void throwArityError(size_t expected, size_t passed) {
    throw GenericFunctionError(
        kor_format("function accepts %u args, but %u were passed", unsigned(expected), unsigned(passed)));
}

void throwArgumentError(size_t index, const tavi::Variant& argument, const std::type_info& parameter) {
    throw GenericFunctionError(kor_format("failed to cast argument %u of '%s' to '%s'", unsigned(index),
                                          argument.typeName(),
                                          tavi::MetaType::prettyName(parameter).c_str()));
}

} // namespace generic_function_details

// The property list of one static meta object: positions are property
// indices, keys are unique.
class StaticMetaObjectImpl {
public:
    // The type's annotations followed by each base's, and each base's
    // properties in order; a key an earlier base declared is skipped.
    StaticMetaObjectImpl(Annotations annotations, const std::vector<MetaObject::BaseClass>& baseClasses)
        : m_annotations(std::move(annotations)) {
        const ReflectedObject none;
        for (const MetaObject::BaseClass& baseClass : baseClasses) {
            MetaObject* base = baseClass.metaObject();
            if (!KOR_VERIFY(baseClass.metaObject()))
                continue;
            m_annotations += base->annotations(tavi::Variant());
            const size_t count = base->propertyCount(none);
            for (size_t i = 0; i < count; ++i)
                if (std::shared_ptr<MetaProperty> property = base->property(none, i, nullptr))
                    m_properties.push_back(std::move(property));
        }
    }

    std::shared_ptr<MetaProperty> addProperty(std::shared_ptr<MetaProperty> prop) {
        Kor::StackTracker::Frame frame("orv::StaticMetaObjectImpl::addProperty");
        if (!KOR_VERIFY(prop))
            return prop;
        auto& byKey = m_properties.get<1>();
        const auto existing = byKey.find(prop->key());
        if (existing != byKey.end())
            byKey.replace(existing, prop); // an override keeps the inherited index
        else
            m_properties.push_back(prop);
        return prop;
    }

    bool removeProperty(const tavi::Variant& key) { return m_properties.get<1>().erase(key) != 0; }

    size_t indexOf(const tavi::Variant& key) const {
        const auto& byKey = m_properties.get<1>();
        const auto found = byKey.find(key);
        if (found == byKey.end())
            return MetaObject::INVALID_INDEX;
        return size_t(m_properties.project<0>(found) - m_properties.begin());
    }

    // indexOf(Variant(std::string(name))) without building the key: the
    // hash of a Variant holding a string is its type's seed combined with the
    // string's own hash.
    size_t indexOfName(std::string_view name) const {
        // A short list is scanned: comparing a few lengths is cheaper than
        // hashing the name. The name of a string key is that string.
        if (m_properties.size() <= SCAN_LIMIT) {
            for (size_t i = 0; i < m_properties.size(); ++i) {
                const MetaProperty& property = *m_properties[i];
                if (property.name().size() == name.size() && property.key().isType<std::string>() &&
                    property.name() == name)
                    return i;
            }
            return MetaObject::INVALID_INDEX;
        }
        const auto& byKey = m_properties.get<1>();
        const auto found = byKey.find(name, NameHash{}, NameEquals{});
        if (found == byKey.end())
            return MetaObject::INVALID_INDEX;
        return size_t(m_properties.project<0>(found) - m_properties.begin());
    }

    size_t size() const noexcept { return m_properties.size(); }
    const std::shared_ptr<MetaProperty>& operator[](size_t index) const { return m_properties[index]; }

    const Annotations& annotations() const noexcept { return m_annotations; }
    void setAnnotations(Annotations annotations) { m_annotations = std::move(annotations); }

private:
    static constexpr size_t SCAN_LIMIT = 16;

    struct KeyOf {
        using result_type = tavi::Variant;
        const tavi::Variant& operator()(const std::shared_ptr<MetaProperty>& property) const {
            return property->key();
        }
    };
    struct NameHash {
        size_t operator()(std::string_view name) const {
            static const size_t seed = tavi::MetaType::of<std::string>()->hashSeed();
            return static_cast<size_t>(Kor::hash_combine(seed, std::hash<std::string_view>{}(name)));
        }
    };
    struct NameEquals {
        bool operator()(std::string_view name, const tavi::Variant& key) const {
            const std::string* text = key.isType<std::string>() ? key.castPtr<std::string>() : nullptr;
            return text && *text == name;
        }
    };
    using List = boost::multi_index_container<
        std::shared_ptr<MetaProperty>,
        boost::multi_index::indexed_by<boost::multi_index::random_access<>,
                                       boost::multi_index::hashed_unique<KeyOf, std::hash<tavi::Variant>>>>;

    List m_properties;
    Annotations m_annotations;
};

// --- BaseStaticMetaObject ---------------------------------------------------

template <int N>
BaseStaticMetaObject<N>::BaseStaticMetaObject(const std::type_info& type, std::string name,
                                              Annotations annotations,
                                              std::vector<MetaObject::BaseClass> baseClasses)
    // The list sees the bases as given, so that a missing one is reported here.
    : NotifyableMetaObject<N>(type, 1, std::move(name), baseClasses),
      m_impl(std::make_unique<StaticMetaObjectImpl>(std::move(annotations), baseClasses)) {}

template <int N>
BaseStaticMetaObject<N>::~BaseStaticMetaObject() = default;

template <int N>
Annotations BaseStaticMetaObject<N>::annotations(const tavi::Variant&) {
    return m_impl->annotations();
}

template <int N>
size_t BaseStaticMetaObject<N>::indexOfProperty(const ReflectedObject&, const tavi::Variant& key) const {
    return m_impl->indexOf(key);
}

template <int N>
size_t BaseStaticMetaObject<N>::indexOfPropertyByName(const ReflectedObject&, std::string_view name) const {
    return m_impl->indexOfName(name);
}

template <int N>
size_t BaseStaticMetaObject<N>::findSelfProperty(const ReflectedObject&, const tavi::Variant& key) const {
    return m_impl->indexOf(key);
}

template <int N>
std::shared_ptr<MetaProperty> BaseStaticMetaObject<N>::property(const ReflectedObject&, size_t index,
                                                                size_t* remaining) const {
    const size_t size = m_impl->size();
    if (index < size)
        return (*m_impl)[index];
    if (remaining)
        *remaining = index - size;
    return nullptr;
}

template <int N>
std::shared_ptr<MetaProperty> BaseStaticMetaObject<N>::addProperty(std::shared_ptr<MetaProperty> property) {
    return m_impl->addProperty(std::move(property));
}

template <int N>
bool BaseStaticMetaObject<N>::removeProperty(const tavi::Variant& key) {
    return m_impl->removeProperty(key);
}

template class BaseStaticMetaObject<0>;
template class BaseStaticMetaObject<1>;

// --- builder ----------------------------------------------------------------

namespace static_meta_object_details {

BuilderCore::BuilderCore(MetaObject& metaObject, StaticMetaObjectImpl& list)
    : m_metaObject(metaObject),
      m_list(list),
      m_inheritedAnnotations(list.annotations()),
      annotations_(1),
      m_exceptions(std::uncaught_exceptions()) {
    // Declarations run at load time, maybe before the library's own static
    // initialisers: the annotation types get their names first.
    library_types_details::registerLibraryTypes();
}

// A declaration cut short by an exception has not forgotten a pop().
BuilderCore::~BuilderCore() {
    if (std::uncaught_exceptions() == m_exceptions)
        KOR_ASSERT_MSG(annotations_.size() == 1, "Missing META_POP");
}

void BuilderCore::annotateType(Annotations annotations) {
    m_typeAnnotations += std::move(annotations);
    Annotations all = m_typeAnnotations;
    all += m_inheritedAnnotations;
    m_list.setAnnotations(std::move(all));
}

void BuilderCore::pushScope(Annotations annotations) {
    Annotations scope = annotations_.back();
    scope += std::move(annotations);
    annotations_.push_back(std::move(scope));
}

void BuilderCore::closeScopesAbove(size_t depth) {
    if (std::uncaught_exceptions() == m_exceptions)
        KOR_ASSERT_MSG(annotations_.size() <= depth + 1, "Missing META_POP");
    if (annotations_.size() > depth)
        annotations_.resize(depth);
}

void BuilderCore::popScope() {
    if (KOR_VERIFY_MSG(annotations_.size() > 1, "pop() without a matching push()"))
        annotations_.pop_back();
}

void BuilderCore::addProperty(std::string key, const std::type_info& type, Annotations annotations,
                              MetaProperty::Getter getter, MetaProperty::Setter setter) {
    Annotations all = annotations_.back();
    all += std::move(annotations);
    std::shared_ptr<MetaProperty> property;
    {
        ZEL::Profiler::Scope scope("Reflection|StaticMetaObject");
        property = std::make_shared<NotifyableMetaProperty<0>>(&m_metaObject, type, type,
                                                               tavi::Variant(std::move(key)), std::move(all),
                                                               std::move(getter), std::move(setter));
    }
    m_list.addProperty(std::move(property));
}

void BuilderCore::addMethod(std::string key, Annotations annotations, MetaProperty::Method method) {
    Annotations all = annotations_.back();
    all += std::move(annotations);
    const std::type_info& type = typeid(MetaProperty::Method);
    std::shared_ptr<MetaProperty> property;
    {
        ZEL::Profiler::Scope scope("Reflection|StaticMetaObject");
        property = std::make_shared<NotifyableMetaProperty<0>>(
            &m_metaObject, type, type, tavi::Variant(std::move(key)), std::move(all), std::move(method));
    }
    m_list.addProperty(std::move(property));
}

bool registerDeclared(MetaObject& metaObject) {
    MetaObjectManager& registry = MetaObjectManager::instance();
    if (const MetaObject* existing = registry.findType(metaObject.type());
        existing && existing != &metaObject) {
        Kor::errorMessage(
            "orv::StaticMetaObject: type '%s' already has a meta object: a module built it again instead of "
            "sharing the declaring module's (export that module's symbols, e.g. link an executable with "
            "-rdynamic)",
            metaObject.name().c_str());
        return false;
    }
    registry.registerType(&metaObject);
    return true;
}

} // namespace static_meta_object_details
} // namespace orv
