#include "shared_libs/reflection/meta_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/variant_converter.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/object_signals.hpp"
#include "shared_libs/reflection/details/variant_text.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_object.hpp"

#include <atomic>
#include <optional>
#include <string>
#include <tuple>

namespace orv {

using object_signals_details::connectProfiled;

static_assert(sizeof(MetaProperty::Method) == 16, "a Method is one shared pointer");

namespace meta_property_details {

void throwCastError(const MetaObject* metaObject, const char* targetType) {
    if (metaObject)
        throw FuzzyArgumentException(kor_format("failed to cast ReflectedObject of '%s' to '%s'",
                                                metaObject->name().c_str(), targetType));
    throw FuzzyArgumentException(kor_format("failed to cast invalid ReflectedObject to '%s'", targetType));
}

void throwCastError(const tavi::MetaType* type, const char* targetType) {
    throw FuzzyArgumentException(
        kor_format("failed to cast Variant of '%s' to '%s'", type ? type->name() : "void", targetType));
}

} // namespace meta_property_details

tavi::Variant MetaProperty::Method::operator()(const BoundProperty& property, SetterFlags flags, size_t count,
                                               const tavi::Variant* arguments) const {
    if (!m_function)
        throw std::bad_function_call();
    tavi::Variant result;
    m_function->call(result, property, flags, count, arguments);
    return result;
}

MetaProperty::MetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                           const std::type_info& storageType, tavi::Variant key, Annotations annotations,
                           Getter getter, Setter setter)
    : m_metaObject(metaObject),
      m_key(std::move(key)),
      m_name(nameFromKey(m_key)),
      m_propertyType(&propertyType),
      m_storageType(&storageType),
      m_annotations(std::move(annotations)),
      m_getter(std::move(getter)),
      m_setter(std::move(setter)) {
    initialize();
}

MetaProperty::MetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                           const std::type_info& storageType, tavi::Variant key, Annotations annotations,
                           Method method)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations), {}, {}) {
    m_method = std::move(method);
}

MetaProperty::MetaProperty(const MetaProperty& other)
    : m_metaObject(other.m_metaObject),
      m_key(other.m_key),
      m_name(other.m_name),
      m_propertyType(other.m_propertyType),
      m_storageType(other.m_storageType),
      m_annotations(other.m_annotations),
      m_getter(other.m_getter),
      m_setter(other.m_setter),
      m_method(other.m_method) {}

MetaProperty::~MetaProperty() = default;

uint64_t MetaProperty::nextSerial() noexcept {
    static std::atomic<uint64_t> s_next{1};
    return s_next.fetch_add(1, std::memory_order_relaxed);
}

std::string MetaProperty::nameFromKey(const tavi::Variant& key) {
    if (std::optional<std::string> text = variant_text_details::textOf(key))
        return std::move(*text);
    tavi::Variant::castError(key.typeName(), tavi::MetaType::prettyName(typeid(std::string)).c_str());
}

void MetaProperty::initialize() {
    KOR_ASSERT(!m_name.empty());
    // Underscore names are internal: hidden unless they say otherwise.
    if (!m_name.empty() && m_name.front() == '_' && !hasAnnotation<Meta::Visible>(m_annotations))
        m_annotations += tavi::Variant(Meta::Visible(meta_property::HIDDEN));
}

meta_property::VisibilityFlags MetaProperty::visibility(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::MetaProperty::visibility");
    if (!property.isValid())
        return meta_property::HIDDEN;
    meta_property::VisibilityFlags visible = meta_property::VISIBLE_EVERYWHERE;
    const Annotations annotations = property.annotations();
    for (const Meta::Visible& rule : annotationsOf<Meta::Visible>(annotations))
        visible &= rule.function(property);
    return visible;
}

zel::Connection MetaProperty::connectPropertyAboutToBeChanged(const PropertySlot& slot) const {
    return connectProfiled("Reflection|Signals|MetaProperty|Global|PropertyAboutToBeChanged",
                           m_propertyAboutToBeChanged, nullptr, slot, 0);
}

zel::Connection MetaProperty::connectPropertyChanged(const PropertySlot& slot) const {
    return connectProfiled("Reflection|Signals|MetaProperty|Global|PropertyChanged", m_propertyChanged,
                           nullptr, slot, 0);
}

zel::Connection MetaProperty::connectMethodAboutToBeInvoked(const MethodAboutToBeInvokedSlot& slot) const {
    return connectProfiled("Reflection|Signals|MetaProperty|Global|MethodAboutToBeInvoked",
                           m_methodAboutToBeInvoked, nullptr, slot, 0);
}

zel::Connection MetaProperty::connectMethodInvoked(const MethodInvokedSlot& slot) const {
    return connectProfiled("Reflection|Signals|MetaProperty|Global|MethodInvoked", m_methodInvoked, nullptr,
                           slot, 0);
}

namespace {

// Whether any of `signals` has a listener, or any of `maps` one for `property`'s instance.
template <class... Signals, class... Maps>
bool heard(const BoundProperty& property, std::tuple<const Signals&...> signals,
           std::tuple<const Maps&...> maps) {
    if (std::apply([](const auto&... s) { return ((s.listenerCount() != 0) || ...); }, signals))
        return true;
    if (std::apply([](const auto&... m) { return ((m.listenerCount() == 0) && ...); }, maps))
        return false;
    const void* key = objectIdentity(property.object());
    return std::apply([key](const auto&... m) { return (m.hasListeners(key) || ...); }, maps);
}

} // namespace

bool MetaProperty::propertyChangeHeard(const BoundProperty& property) const {
    return heard(property, std::tie(m_propertyAboutToBeChanged, m_propertyChanged),
                 std::tie(m_objectPropertyAboutToBeChanged, m_objectPropertyChanged));
}

bool MetaProperty::methodCallHeard(const BoundProperty& property) const {
    return heard(property, std::tie(m_methodAboutToBeInvoked, m_methodInvoked),
                 std::tie(m_objectMethodAboutToBeInvoked, m_objectMethodInvoked));
}

const void* MetaProperty::instanceKey(const BoundProperty& property) {
    return objectIdentity(property.object());
}

namespace {

// Most per-object maps have no slot at all: the instance key (as
// instanceKey() makes it) is worked out only for one that has.
template <class Map, class... Args>
void emitPerObject(const Map& map, const BoundProperty& property, const Args&... args) {
    if (!map.empty())
        map.emit(objectIdentity(property.object()), property, args...);
}

} // namespace

void MetaProperty::propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                            NotifyFlags notifyFlags) const {
    emitPerObject(m_objectPropertyAboutToBeChanged, property, setterFlags, notifyFlags);
    m_propertyAboutToBeChanged.emit(property, setterFlags, notifyFlags);
}

void MetaProperty::propertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                                   NotifyFlags notifyFlags) const {
    emitPerObject(m_objectPropertyChanged, property, setterFlags, notifyFlags);
    m_propertyChanged.emit(property, setterFlags, notifyFlags);
}

void MetaProperty::methodAboutToBeInvoked(const BoundProperty& property, size_t count,
                                          const tavi::Variant* arguments, SetterFlags setterFlags,
                                          NotifyFlags notifyFlags) const {
    emitPerObject(m_objectMethodAboutToBeInvoked, property, count, arguments, setterFlags, notifyFlags);
    m_methodAboutToBeInvoked.emit(property, count, arguments, setterFlags, notifyFlags);
}

void MetaProperty::methodInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                                 const tavi::Variant& result, SetterFlags setterFlags,
                                 NotifyFlags notifyFlags) const {
    emitPerObject(m_objectMethodInvoked, property, count, arguments, result, setterFlags, notifyFlags);
    m_methodInvoked.emit(property, count, arguments, result, setterFlags, notifyFlags);
}

} // namespace orv
