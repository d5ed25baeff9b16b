#include "shared_libs/reflection/bound_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_property.hpp"

#include <algorithm>

namespace orv {
namespace {

const tavi::Variant s_noKey;
const std::string s_noName;

} // namespace

BoundProperty::BoundProperty(ReflectedObject object, size_t index) : m_object(std::move(object)) {
    Kor::StackTracker::Frame frame("orv::BoundProperty::BoundProperty");
    if (!m_object.isValid())
        return;
    std::shared_ptr<MetaProperty> property = m_object.metaPropertyAt(index);
    if (!property) {
        Kor::errorMessage("Property creation from wrong index");
        return;
    }
    if (const std::shared_ptr<PropertyData>& data = ObjectData::propertyData(m_object, index)) {
        m_data = WeakPtrVariant<PropertyData, MetaProperty>(data);
    } else {
        if (property->hasData())
            Kor::warningMessage("orv::BoundProperty::BoundProperty: property '%s' (index %zi) doesn't have data while "
                                "it should",
                                property->name().c_str(), index);
        m_data = WeakPtrVariant<PropertyData, MetaProperty>(property);
    }
    initContextData(index);
}

void BoundProperty::initContextData(size_t index) {
    KOR_ASSERT(m_object);
    if (!m_object)
        return;
    ReflectedObjectContextData* context = m_object.contextData();
    if (!context) {
        Kor::warningMessage("orv::BoundProperty::initContextData: failed to obtain context data from object");
        return;
    }
    m_contextData = context->propertyContextData(index, *this);
}

std::shared_ptr<MetaProperty> BoundProperty::metaProperty() const {
    if (!m_object.isValid())
        return nullptr;
    if (const std::shared_ptr<PropertyData> data = m_data.lock<PropertyData>())
        return data->metaProperty();
    return m_data.lock<MetaProperty>();
}

PropertyData* BoundProperty::propertyData() const noexcept { return isValid() ? m_data.get<PropertyData>() : nullptr; }

BoundPropertyContextData* BoundProperty::contextData() const noexcept { return isValid() ? m_contextData : nullptr; }

const tavi::Variant& BoundProperty::key() const {
    const auto property = metaProperty();
    return property ? property->key() : s_noKey;
}

const std::string& BoundProperty::name() const {
    const auto property = metaProperty();
    return property ? property->name() : s_noName;
}

const std::type_info& BoundProperty::propertyType() const {
    const auto property = metaProperty();
    return property ? property->propertyType() : typeid(void);
}

const std::type_info& BoundProperty::storageType() const {
    const auto property = metaProperty();
    return property ? property->storageType() : typeid(void);
}

bool BoundProperty::isValue() const {
    const auto property = metaProperty();
    return property && property->getter();
}

bool BoundProperty::isMethod() const {
    const auto property = metaProperty();
    return property && bool(property->method());
}

bool BoundProperty::isConst() const {
    const auto property = metaProperty();
    return !property || !property->setter() || m_object.isConst();
}

TypeInfo BoundProperty::typeInfo() const {
    const auto property = metaProperty();
    return property ? TypeInfo(get(), property->propertyType(), property->storageType()) : TypeInfo();
}

tavi::Variant BoundProperty::get() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::get");
    const auto property = metaProperty();
    if (!property || !property->getter())
        return {};
    try {
        return property->getter()(*this);
    } catch (const FuzzyArgumentException& error) {
        Kor::errorMessage("Error getting property '%s': %s", property->name().c_str(), error.what());
        return {};
    }
}

Annotations BoundProperty::annotations() const {
    const auto property = metaProperty();
    return property ? property->annotations() : Annotations();
}

meta_property::VisibilityFlags BoundProperty::visibility() const {
    const auto property = metaProperty();
    return property ? property->visibility(*this) : meta_property::HIDDEN;
}

Meta::Stateless::Mode BoundProperty::statelessMode() const {
    using Mode = Meta::Stateless::Mode;
    Mode own = Mode::None;
    const Annotations annotations = this->annotations();
    const auto rules = annotationsOf<Meta::Stateless>(annotations);
    if (!rules.empty())
        own = rules.front().function(m_object);
    if (own == Mode::Deep)
        return own;
    return std::max(m_object.statelessMode(), own);
}

tavi::Variant* BoundProperty::userData(Kor::BasicStringRef<char> name) const {
    PropertyData* data = propertyData();
    return data ? data->userData(name) : nullptr;
}

zel::Connection BoundProperty::connectPropertyAboutToBeChanged(const MetaProperty::PropertySlot& slot) const {
    return connectPropertyAboutToBeChanged(nullptr, slot, 0);
}

zel::Connection BoundProperty::connectPropertyChanged(const MetaProperty::PropertySlot& slot) const {
    return connectPropertyChanged(nullptr, slot, 0);
}

zel::Connection BoundProperty::connectMethodAboutToBeInvoked(
    const MetaProperty::MethodAboutToBeInvokedSlot& slot) const {
    return connectMethodAboutToBeInvoked(nullptr, slot, 0);
}

zel::Connection BoundProperty::connectMethodInvoked(const MetaProperty::MethodInvokedSlot& slot) const {
    return connectMethodInvoked(nullptr, slot, 0);
}

zel::Connection BoundProperty::connectPropertyAboutToBeChanged(zel::InlineConnection* storage,
                                                               const MetaProperty::PropertySlot& slot,
                                                               int priority) const {
    const auto property = metaProperty();
    return property ? property->connectPropertyAboutToBeChanged(*this, storage, slot, priority) : zel::Connection();
}

zel::Connection BoundProperty::connectPropertyChanged(zel::InlineConnection* storage,
                                                      const MetaProperty::PropertySlot& slot, int priority) const {
    const auto property = metaProperty();
    return property ? property->connectPropertyChanged(*this, storage, slot, priority) : zel::Connection();
}

zel::Connection BoundProperty::connectMethodAboutToBeInvoked(zel::InlineConnection* storage,
                                                             const MetaProperty::MethodAboutToBeInvokedSlot& slot,
                                                             int priority) const {
    const auto property = metaProperty();
    return property ? property->connectMethodAboutToBeInvoked(*this, storage, slot, priority) : zel::Connection();
}

zel::Connection BoundProperty::connectMethodInvoked(zel::InlineConnection* storage,
                                                    const MetaProperty::MethodInvokedSlot& slot, int priority) const {
    const auto property = metaProperty();
    return property ? property->connectMethodInvoked(*this, storage, slot, priority) : zel::Connection();
}

bool operator==(const BoundProperty& a, const BoundProperty& b) {
    return &a == &b || (a.metaProperty() == b.metaProperty() && a.m_object == b.m_object);
}

size_t BoundProperty::hash() const {
    const uint64_t s = m_object.get().hash();
    const uint64_t h = std::hash<const MetaProperty*>()(metaProperty().get());
    return static_cast<size_t>(s ^ (h + 0x9e3779b9ull + (s << 6) + (s >> 2)));
}

// --- property data ------------------------------------------------------------

PropertyData::PropertyData(ObjectData& objectData, std::weak_ptr<MetaProperty> metaProperty)
    : m_objectData(objectData), m_metaProperty(std::move(metaProperty)) {}

PropertyData::~PropertyData() {
    delete m_methodInvoked.exchange(nullptr);
    delete m_methodAboutToBeInvoked.exchange(nullptr);
    delete m_propertyChanged.exchange(nullptr);
    delete m_propertyAboutToBeChanged.exchange(nullptr);
}

tavi::Variant* PropertyData::userData(Kor::BasicStringRef<char> name) {
    return &m_userData.try_emplace(name.str()).first->second;
}

template <class Signal>
Signal& PropertyData::signal(std::atomic<Signal*>& slot) {
    Signal* current = slot.load(std::memory_order_acquire);
    if (current)
        return *current;
    auto created = std::make_unique<Signal>();
    if (slot.compare_exchange_strong(current, created.get(), std::memory_order_acq_rel))
        return *created.release();
    return *current;
}

zel::Connection PropertyData::connectPropertyAboutToBeChanged(zel::InlineConnection* storage,
                                                              const MetaProperty::PropertySlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|PropertyData|PropertyAboutToBeChanged");
    return signal(m_propertyAboutToBeChanged).connect(storage, slot, priority);
}

zel::Connection PropertyData::connectPropertyChanged(zel::InlineConnection* storage,
                                                     const MetaProperty::PropertySlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|PropertyData|PropertyChanged");
    return signal(m_propertyChanged).connect(storage, slot, priority);
}

zel::Connection PropertyData::connectMethodAboutToBeInvoked(zel::InlineConnection* storage,
                                                            const MetaProperty::MethodAboutToBeInvokedSlot& slot,
                                                            int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|PropertyData|MethodAboutToBeInvoked");
    return signal(m_methodAboutToBeInvoked).connect(storage, slot, priority);
}

zel::Connection PropertyData::connectMethodInvoked(zel::InlineConnection* storage,
                                                   const MetaProperty::MethodInvokedSlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|PropertyData|MethodInvoked");
    return signal(m_methodInvoked).connect(storage, slot, priority);
}

void PropertyData::propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                            NotifyFlags notifyFlags) {
    if (auto* s = m_propertyAboutToBeChanged.load(std::memory_order_acquire))
        s->emit(property, setterFlags, notifyFlags);
}

void PropertyData::propertyChanged(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags) {
    if (auto* s = m_propertyChanged.load(std::memory_order_acquire))
        s->emit(property, setterFlags, notifyFlags);
}

void PropertyData::methodAboutToBeInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                                          SetterFlags setterFlags, NotifyFlags notifyFlags) {
    if (auto* s = m_methodAboutToBeInvoked.load(std::memory_order_acquire))
        s->emit(property, count, arguments, setterFlags, notifyFlags);
}

void PropertyData::methodInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                                 const tavi::Variant& result, SetterFlags setterFlags, NotifyFlags notifyFlags) {
    if (auto* s = m_methodInvoked.load(std::memory_order_acquire))
        s->emit(property, count, arguments, result, setterFlags, notifyFlags);
}

} // namespace orv
