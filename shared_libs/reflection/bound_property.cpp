#include "shared_libs/reflection/bound_property.hpp"

#include "orv_cpp_utils/wildcard.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"
#include "shared_libs/reflection/details/annotation_traits.hpp"
#include "shared_libs/reflection/details/notify_stack.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/property_set_command.hpp"

#include <algorithm>
#include <mutex>

namespace orv {

using object_signals_details::connectProfiled;

namespace {

const tavi::Variant s_noKey;
const std::string s_noName;

} // namespace

// isValid() and the address in one pass. Forced inline: every read, call and
// query of the description asks, and a call costs as much as the checks.
[[gnu::always_inline]] inline const MetaProperty* BoundProperty::liveMetaProperty() const noexcept {
    if (!m_object.isValid() || m_data.expired())
        return nullptr;
    if (const PropertyData* data = m_data.unchecked<PropertyData>())
        return data->metaPropertyAddress();
    const MetaProperty* property = m_data.unchecked<MetaProperty>();
    return !m_contextData || m_contextData->describesProperty() ? property : nullptr;
}

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
        initContextData(index);
        return;
    }
    if (property->hasData())
        Kor::warningMessage(
            "orv::BoundProperty::BoundProperty: property '%s' (index %zi) doesn't have data while it should",
            property->name().c_str(), index);
    // Without PropertyData the handle watches its context slot instead: the
    // object's context retires the slot when the property goes.
    const ReflectedObjectContextData* context = m_object.contextData();
    m_contextData = context ? context->existingPropertyContextData(index) : nullptr;
    if (!m_contextData) {
        // The slot is made with a handle that observes the description itself.
        m_data = WeakPtrVariant<PropertyData, MetaProperty>(property);
        initContextData(index);
    }
    if (m_contextData)
        m_data = WeakPtrVariant<PropertyData, MetaProperty>(property.get(), m_contextData->weak_from_this());
}

void BoundProperty::initContextData(size_t index) {
    if (!KOR_VERIFY(m_object))
        return;
    ReflectedObjectContextData* context = m_object.contextData();
    if (!context) {
        Kor::warningMessage("orv::BoundProperty::initContextData: failed to obtain context data from object");
        return;
    }
    m_contextData = context->propertyContextData(index, *this);
}

bool BoundProperty::isValid() const noexcept {
    if (!m_object.isValid() || m_data.expired())
        return false;
    return !observesSlot() || m_contextData->describesProperty();
}

std::shared_ptr<MetaProperty> BoundProperty::metaProperty() const {
    if (!m_object.isValid())
        return nullptr;
    if (m_data.is<PropertyData>()) {
        const std::shared_ptr<PropertyData> data = m_data.lock<PropertyData>();
        return data ? data->metaProperty() : nullptr;
    }
    if (!m_contextData)
        return m_data.lock<MetaProperty>();
    return m_data.expired() ? nullptr : m_contextData->metaProperty();
}

std::shared_ptr<MetaProperty> BoundProperty::heldMetaProperty() const {
    // The data is read without a reference, as metaPropertyAddress() reads
    // it: nothing runs between the check and the read that could end it.
    if (!m_object.isValid() || m_data.expired())
        return nullptr;
    if (const PropertyData* data = m_data.unchecked<PropertyData>())
        return data->metaProperty();
    return m_contextData ? m_contextData->metaProperty() : m_data.lock<MetaProperty>();
}

PropertyData* BoundProperty::propertyData() const noexcept {
    return isValid() ? m_data.get<PropertyData>() : nullptr;
}

BoundPropertyContextData* BoundProperty::contextData() const noexcept {
    return isValid() ? m_contextData : nullptr;
}

// The queries below take no reference on the description: nothing runs
// between the check and the read that could remove it.
const tavi::Variant& BoundProperty::key() const {
    const MetaProperty* property = liveMetaProperty();
    return property ? property->key() : s_noKey;
}

const std::string& BoundProperty::name() const {
    const MetaProperty* property = liveMetaProperty();
    return property ? property->name() : s_noName;
}

const std::type_info& BoundProperty::propertyType() const {
    const MetaProperty* property = liveMetaProperty();
    return property ? property->propertyType() : typeid(void);
}

const std::type_info& BoundProperty::storageType() const {
    const MetaProperty* property = liveMetaProperty();
    return property ? property->storageType() : typeid(void);
}

bool BoundProperty::isValue() const {
    const MetaProperty* property = liveMetaProperty();
    return property && property->getter();
}

bool BoundProperty::isMethod() const {
    const MetaProperty* property = liveMetaProperty();
    return property && bool(property->method());
}

bool BoundProperty::isConst() const {
    const MetaProperty* property = liveMetaProperty();
    return !property || !property->setter() || m_object.isConst();
}

TypeInfo BoundProperty::typeInfo() const {
    const auto property = metaProperty();
    return property ? TypeInfo(get(), property->propertyType(), property->storageType()) : TypeInfo();
}

tavi::Variant BoundProperty::get() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::get");
    // No reference is taken: nothing runs here that could remove the
    // property but the getter itself, and a getter does not remove the
    // property it reads.
    const MetaProperty* property = liveMetaProperty();
    if (!property || !property->getter())
        return {};
    try {
        return property->getter()(*this);
    } catch (const FuzzyArgumentException& error) {
        Kor::errorMessage("Error getting property '%s': %s", property->name().c_str(), error.what());
        return {};
    }
}

meta_property::VisibilityFlags BoundProperty::visibility() const {
    const auto property = metaProperty();
    return property ? property->visibility(*this) : meta_property::HIDDEN;
}

// --- writes and calls ---------------------------------------------------------

using bound_property_details::AnnotationTrait;
using bound_property_details::AnnotationTraits;

namespace bound_property_details {

AnnotationTraits traitsOf(const Annotations& annotations) {
    AnnotationTraits traits = AnnotationTrait::Known;
    if (annotations.isBlank() || annotations.empty())
        return traits | AnnotationTrait::Blank;
    const auto mark = [&]<class... A>(AnnotationTrait trait) {
        if ((hasAnnotation<A>(annotations) || ...))
            traits |= trait;
    };
    mark.template operator()<Meta::Validator>(AnnotationTrait::Validator);
    mark.template operator()<Meta::OnPropertyAboutToBeChanged>(AnnotationTrait::AboutToChangeHooks);
    mark.template operator()<Meta::OnPropertyChanged>(AnnotationTrait::ChangedHooks);
    mark.template operator()<Meta::Dependent>(AnnotationTrait::Dependents);
    mark.template operator()<Meta::OnMethodAboutToBeInvoked, Meta::OnMethodInvoked>(
        AnnotationTrait::MethodHooks);
    return traits;
}

} // namespace bound_property_details

AnnotationTraits BoundProperty::annotationTraits() const {
    // Callers have just found the handle valid.
    BoundPropertyContextData* context = m_contextData;
    if (!context)
        return bound_property_details::traitsOf(computeAnnotations());
    const AnnotationTraits cached = context->traits();
    if (cached.test(AnnotationTrait::Known))
        return cached;
    // Caching the annotations reads their traits.
    return bound_property_details::traitsOf(annotations());
}

namespace {

// Whether the object's own annotations hold any of A: what they add to the
// announcement of a change or a call of one of its properties. Read every
// time, as the announcement reads them.
template <class... A>
bool objectAnnotated(const ReflectedObject& object) {
    const Annotations annotations = object.annotations();
    return !annotations.isBlank() && (hasAnnotation<A>(annotations) || ...);
}

} // namespace

bool BoundProperty::validate(const tavi::Variant& value, SetterFlags flags, AnnotationTraits traits,
                             std::optional<tavi::Variant>& validated) const {
    // Held for the call: the validator may change this handle's overrides
    // or the property's sources meanwhile.
    std::shared_ptr<const Validator> validate;
    if (m_private && m_private->validator) {
        const std::shared_ptr<const PrivateData> overrides = m_private;
        if (!*overrides->validator)
            return true;
        validate = std::shared_ptr<const Validator>(overrides, &*overrides->validator);
    } else if (traits.test(AnnotationTrait::Validator)) {
        validate = sharedValidator();
    }
    if (!validate || !*validate)
        return true;
    validated.emplace(value);
    std::string error;
    return (*validate)(*this, *validated, flags, error);
}

bool BoundProperty::changeHeard(const MetaProperty& property, AnnotationTraits traits) const {
    using bound_property_details::operator|;
    return notify_scope_details::profilerAttached() ||
           traits.testAny(AnnotationTrait::AboutToChangeHooks | AnnotationTrait::ChangedHooks |
                          AnnotationTrait::Dependents) ||
           objectAnnotated<Meta::Dependent>(m_object) || property.propertyChangeHeard(*this);
}

bool BoundProperty::callHeard(const MetaProperty& property, AnnotationTraits traits) const {
    using bound_property_details::operator|;
    return notify_scope_details::profilerAttached() ||
           traits.testAny(AnnotationTrait::MethodHooks | AnnotationTrait::Dependents) ||
           objectAnnotated<Meta::OnMethodAboutToBeInvoked, Meta::OnMethodInvoked, Meta::Dependent>(
               m_object) ||
           property.methodCallHeard(*this);
}

namespace {

// Whether a write of `property` now records an undo command: a transaction
// records and has nothing under this property yet. The table is asked before
// the (locked) stateless cache: repeated writes in one transaction, a drag,
// find their change recorded and stop there.
bool recordsChange(const BoundProperty& property) {
    Kor::CommitChangesScope::Transaction* transaction = Kor::CommitChangesScope::transaction();
    return transaction && transaction->command() && !Kor::CommitChangesScope::recordedUndo(property) &&
           !property.isStateless();
}

} // namespace

bool BoundProperty::set(const tavi::Variant& value, SetterFlags flags) const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::set");
    const MetaProperty* property = metaPropertyAddress();
    if (!property || !property->setter())
        return false;
    const AnnotationTraits traits = annotationTraits();
    // Held for the whole write, setter included: a validator, a listener, or
    // a write the setter makes itself may remove the property meanwhile, and
    // its setter must still be there.
    const std::shared_ptr<MetaProperty> held = heldMetaProperty();
    if (!held)
        return false;
    const bool validates = !flags.test(SetterFlag::NoValidation) &&
                           ((m_private && m_private->validator) || traits.test(AnnotationTrait::Validator));
    // Only a validator may change the value; without one the caller's is written.
    std::optional<tavi::Variant> validated;
    if (validates && !validate(value, flags, traits, validated))
        return false;
    const tavi::Variant& newValue = validated ? *validated : value;

    // Nobody would hear the announcement and nothing new is recorded: the
    // change goes through unannounced (see notify_stack.hpp).
    // (Asked in order of cost: inside an open scope only the first is.)
    const bool quiet =
        notify_scope_details::quietAdmitted() && !recordsChange(*this) && !changeHeard(*property, traits);
    bool succeeded = true;
    {
        notify_scope_details::PropertyWrite write(*this, flags, quiet);
        const BoundProperty& self = write.handle();
        // Checked again after an announcement: a listener may have opened a
        // transaction or closed it (a quiet entry found nothing to record
        // and ran no listener). A property already recorded in this
        // transaction records nothing, notify brackets included: an empty
        // bracket pair would replay as nothing but would grow the transaction
        // by two commands on every write of a drag.
        if (!write.isQuiet() && recordsChange(self)) {
            NotifyScope::prepareUndo();
            Kor::CommitChangesScope::makeUniqueUndo<PropertySetCommand>(self, self);
        }
        try {
            property->setter()(self, newValue, flags);
        } catch (const FuzzyArgumentException& error) {
            Kor::errorMessage("Error setting property '%s': %s", property->name().c_str(), error.what());
            succeeded = false;
        }
    }
    return succeeded;
}

tavi::Variant BoundProperty::genericInvoke(SetterFlags flags, size_t count,
                                           const tavi::Variant* arguments) const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::genericInvoke");
    const MetaProperty* property = liveMetaProperty();
    if (!property) {
        Kor::errorMessage("Tried to invoke invalid property");
        return {};
    }
    if (!property->method()) {
        Kor::errorMessage("Tried to invoke non-method property '%s'", property->name().c_str());
        return {};
    }
    if (count > 0 && !arguments) {
        Kor::errorMessage("Tried to invoke method property '%s' with %zu arguments and no argument array",
                          property->name().c_str(), count);
        return {};
    }
    const bool quiet = notify_scope_details::quietAdmitted() && !callHeard(*property, annotationTraits());
    // Listeners, or calls the method makes itself, may remove the method
    // while it runs: held throughout.
    const std::shared_ptr<MetaProperty> held = heldMetaProperty();
    if (!held)
        return {};
    notify_scope_details::MethodCall call(*this, count, arguments, flags, quiet);
    const auto failed = [&](const std::exception& error) {
        Kor::errorMessage("Error invoking method property '%s': %s", property->name().c_str(), error.what());
        return tavi::Variant();
    };
    tavi::Variant result;
    try {
        result = property->method()(call.handle(), flags, count, arguments);
    } catch (const GenericFunctionError& error) {
        return failed(error);
    } catch (const FuzzyArgumentException& error) {
        return failed(error);
    } catch (const std::bad_function_call& error) {
        // A method forwarding to a callable member that was never set (an
        // annotation's empty function): the caller's data, not a crash.
        return failed(error);
    }
    call.setResult(result);
    return result;
}

// --- derived values -------------------------------------------------------------

// Served from `context`, the property's cache (contextData()), when it has
// one; computed directly otherwise. The whole check-compute-store-copy runs
// under the cache's lock.
template <class T, class Compute>
T BoundProperty::cached(BoundPropertyContextData* context,
                        std::optional<T>& (BoundPropertyContextData::*slot)(), Compute&& compute) const {
    if (!context)
        return compute();
    // The cache hears of changes that would clear it from its first value on.
    context->followChanges(*this);
    const std::lock_guard lock(context->mutex());
    std::optional<T>& value = (context->*slot)();
    if (!value)
        value.emplace(compute());
    return *value;
}

namespace {

// Appends what the Meta::Children among `source` hand to a property of this name.
void addChildrenAnnotations(Annotations& result, const Annotations& source, const std::string& name) {
    for (const Meta::Children& children : annotationsOf<Meta::Children>(source)) {
        if (!zel::wildcardMatch(children.pattern, name, zel::PROPERTY_NAME_MATCH))
            continue;
        result += children.annotations;
        if (children.recursive == 1)
            result += tavi::Variant(children);
    }
}

} // namespace

Annotations BoundProperty::computeAnnotations() const {
    const std::shared_ptr<MetaProperty> property = metaProperty();
    if (!property)
        return {};
    Annotations result = property->annotations();
    addChildrenAnnotations(result, m_object.annotations(), property->name());
    const BoundProperty parent = m_object.reference();
    if (parent.isValid())
        addChildrenAnnotations(result, parent.annotations(), property->name());
    return result;
}

Annotations BoundProperty::annotations() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::annotations");
    BoundPropertyContextData* context = contextData();
    if (context && context->traits().test(AnnotationTrait::Blank))
        return {};
    return cached(context, &BoundPropertyContextData::annotations, [this, context] {
        Annotations computed = computeAnnotations();
        if (context)
            context->setTraits(bound_property_details::traitsOf(computed));
        return computed;
    });
}

bool BoundProperty::isReadOnly() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::isReadOnly");
    for (const Meta::ReadOnly& rule : annotationsOf<Meta::ReadOnly>(annotations()))
        if (rule.function && rule.function(*this))
            return true;
    if (const std::shared_ptr<MetaProperty> property = metaProperty())
        if (MetaObject* declaring = property->metaObject())
            for (const Meta::ReadOnly& rule :
                 annotationsOf<Meta::ReadOnly>(declaring->annotations(m_object.get())))
                if (rule.function && rule.function(*this))
                    return true;
    const BoundProperty parent = m_object.reference();
    return parent.isValid() && parent.isReadOnly();
}

Meta::Stateless::Mode BoundProperty::statelessMode() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::statelessMode");
    return cached(contextData(), &BoundPropertyContextData::statelessMode, [this] {
        using Mode = Meta::Stateless::Mode;
        Mode own = Mode::None;
        const Annotations all = annotations();
        const auto rules = annotationsOf<Meta::Stateless>(all);
        if (!rules.empty() && rules.front().function)
            own = rules.front().function(m_object);
        return own == Mode::Deep ? own : std::max(m_object.statelessMode(), own);
    });
}

Validator BoundProperty::validator() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::validator");
    if (m_private && m_private->validator)
        return *m_private->validator;
    const std::shared_ptr<const Validator> shared = sharedValidator();
    return shared ? *shared : Validator();
}

std::shared_ptr<const Validator> BoundProperty::sharedValidator() const {
    BoundPropertyContextData* context = contextData();
    if (context && context->traits().test(AnnotationTrait::Blank))
        return nullptr;
    return cached(context, &BoundPropertyContextData::validator,
                  [this]() -> std::shared_ptr<const Validator> {
                      // The first: the property's own comes before what Meta::Children hands down.
                      const Annotations all = annotations();
                      const auto validators = annotationsOf<Meta::Validator>(all);
                      if (validators.empty() || !validators.front().function)
                          return nullptr;
                      return std::make_shared<const Validator>(validators.front().function);
                  });
}

void BoundProperty::setValidator(Validator validator) {
    Kor::StackTracker::Frame frame("orv::BoundProperty::setValidator");
    detach().validator = std::move(validator);
}

ReduceMapFactory BoundProperty::reduceMapFactory() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::reduceMapFactory");
    if (m_private && m_private->reduceMapFactory)
        return *m_private->reduceMapFactory;
    return cached(contextData(), &BoundPropertyContextData::reduceMapFactory, [this]() -> ReduceMapFactory {
        const Annotations all = annotations();
        const auto factories = annotationsOf<Meta::MultiSelection::ReduceMap>(all);
        if (!factories.empty()) {
            if (factories.front().factory)
                return factories.front().factory;
            Kor::warningMessage(
                "Property '%s' has a Meta::MultiSelection::ReduceMap without factory: values are "
                "compared for equality",
                name().c_str());
        }
        return [] { return std::make_unique<EqualReduceMap>(); };
    });
}

void BoundProperty::setReduceMapFactory(ReduceMapFactory factory) {
    Kor::StackTracker::Frame frame("orv::BoundProperty::setReduceMapFactory");
    PrivateData& data = detach();
    if (factory)
        data.reduceMapFactory = std::move(factory);
    else
        data.reduceMapFactory.reset();
}

BoundProperty::PrivateData& BoundProperty::detach() {
    ZEL::Profiler::Scope scope("Reflection|BoundProperty|PrivateData");
    if (!m_private)
        m_private = std::make_shared<PrivateData>();
    else if (m_private.use_count() > 1)
        m_private = std::make_shared<PrivateData>(*m_private);
    return *m_private;
}

// --- bindings -------------------------------------------------------------------

BoundProperty::Binding BoundProperty::bind(const BoundProperty& source) const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::bind");
    return PropertyData::bind(*this, {source}, [source] { return BoundProperty(source).get(); });
}

BoundProperty::Binding BoundProperty::bind(std::initializer_list<BoundProperty> sources,
                                           std::function<tavi::Variant()> compute) const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::bind");
    return PropertyData::bind(*this, sources, std::move(compute));
}

bool BoundProperty::unbind(const Binding& binding) {
    Kor::StackTracker::Frame frame("orv::BoundProperty::unbind");
    const std::shared_ptr<BindingBody> body = binding.lock();
    return body && body->unbind();
}

BoundProperty::BindingBody::BindingBody(std::function<tavi::Variant()> compute, BoundProperty target,
                                        List& list)
    : m_compute(std::move(compute)), m_target(std::move(target)), m_list(&list) {}

void BoundProperty::BindingBody::start(const std::weak_ptr<BindingBody>& self,
                                       std::initializer_list<BoundProperty> sources) {
    Kor::StackTracker::Frame frame("orv::BoundProperty::BindingBody::BindingBody");
    m_connections.reserve(sources.size());
    for (const BoundProperty& source : sources) {
        // The slot keeps the body alive while it runs: a change it makes may
        // end the binding.
        zel::Connection connection = source.connectPropertyChanged(
            nullptr,
            [self](SetterFlags flags) {
                if (const std::shared_ptr<BindingBody> body = self.lock())
                    body->update(flags);
            },
            0);
        if (connection.connected())
            m_connections.emplace_back(std::move(connection));
        else
            connection.disconnect();
    }
    update({});
}

void BoundProperty::BindingBody::update(SetterFlags flags) const { m_target.set(m_compute(), flags); }

BoundProperty::Binding PropertyData::bind(const BoundProperty& target,
                                          std::initializer_list<BoundProperty> sources,
                                          std::function<tavi::Variant()> compute) {
    PropertyData* data = target.propertyData();
    if (!data)
        return {};
    ZEL::Profiler::Scope scope("Reflection|BoundProperty|Bindings");
    BoundProperty::BindingBody::List& list = data->m_bindings;
    const auto node = list.emplace(list.end());
    *node = std::make_shared<BoundProperty::BindingBody>(std::move(compute), target, list);
    const std::shared_ptr<BoundProperty::BindingBody> body = *node;
    body->setNode(node);
    body->start(body, sources);
    return body;
}

tavi::Variant* BoundProperty::userData(Kor::BasicStringRef<char> name) const {
    PropertyData* data = propertyData();
    return data ? data->userData(name) : nullptr;
}

template <class Slot>
zel::Connection BoundProperty::connect(Connector<Slot> connector, zel::InlineConnection* storage,
                                       const Slot& slot, int priority) const {
    const auto property = metaProperty();
    return property ? (*property.*connector)(*this, storage, slot, priority) : zel::Connection();
}

zel::Connection BoundProperty::connectPropertyAboutToBeChanged(const MetaProperty::PropertySlot& slot) const {
    return connect(&MetaProperty::connectPropertyAboutToBeChanged, nullptr, slot, 0);
}

zel::Connection BoundProperty::connectPropertyChanged(const MetaProperty::PropertySlot& slot) const {
    return connect(&MetaProperty::connectPropertyChanged, nullptr, slot, 0);
}

zel::Connection BoundProperty::connectMethodAboutToBeInvoked(
    const MetaProperty::MethodAboutToBeInvokedSlot& slot) const {
    return connect(&MetaProperty::connectMethodAboutToBeInvoked, nullptr, slot, 0);
}

zel::Connection BoundProperty::connectMethodInvoked(const MetaProperty::MethodInvokedSlot& slot) const {
    return connect(&MetaProperty::connectMethodInvoked, nullptr, slot, 0);
}

zel::Connection BoundProperty::connectPropertyChanged(zel::InlineConnection* storage,
                                                      const MetaProperty::PropertySlot& slot,
                                                      int priority) const {
    return connect(&MetaProperty::connectPropertyChanged, storage, slot, priority);
}

const MetaProperty* BoundProperty::metaPropertyAddress() const noexcept { return liveMetaProperty(); }

bool operator==(const BoundProperty& a, const BoundProperty& b) {
    return &a == &b || (a.metaPropertyAddress() == b.metaPropertyAddress() && a.m_object == b.m_object);
}

size_t BoundProperty::hash() const {
    const uint64_t s = m_object.get().hash();
    const uint64_t h = std::hash<const MetaProperty*>()(metaPropertyAddress());
    return static_cast<size_t>(s ^ (h + 0x9e3779b9ull + (s << 6) + (s >> 2)));
}

// --- reduce maps ----------------------------------------------------------------

bool EqualReduceMap::reduce(const tavi::Variant& value, int) {
    if (!std::exchange(m_stored, true)) {
        m_value = value;
        return true;
    }
    if (value == m_value)
        return true;
    m_value = tavi::Variant();
    return false;
}

tavi::Variant EqualReduceMap::map(const tavi::Variant& value, const tavi::Variant&) const { return value; }

// --- property data ------------------------------------------------------------

PropertyData::PropertyData(ObjectData& objectData, std::weak_ptr<MetaProperty> metaProperty)
    : m_objectData(objectData),
      m_metaProperty(std::move(metaProperty)),
      m_address(m_metaProperty.lock().get()) {}

PropertyData::~PropertyData() {
    // Bindings may listen to this very property: disconnect before its
    // signals go. A body kept alive by a running slot no longer has a list.
    for (const auto& body : m_bindings)
        body->detach();
    m_bindings.clear();
    m_methodInvoked.reset();
    m_methodAboutToBeInvoked.reset();
    m_propertyChanged.reset();
    m_propertyAboutToBeChanged.reset();
}

tavi::Variant* PropertyData::userData(Kor::BasicStringRef<char> name) {
    return &m_userData.try_emplace(name.str()).first->second;
}

zel::Connection PropertyData::connectPropertyAboutToBeChanged(zel::InlineConnection* storage,
                                                              const MetaProperty::PropertySlot& slot,
                                                              int priority) {
    return connectProfiled("Reflection|Signals|PropertyData|PropertyAboutToBeChanged",
                           m_propertyAboutToBeChanged.getOrCreate(), storage, slot, priority);
}

zel::Connection PropertyData::connectPropertyChanged(zel::InlineConnection* storage,
                                                     const MetaProperty::PropertySlot& slot, int priority) {
    return connectProfiled("Reflection|Signals|PropertyData|PropertyChanged", m_propertyChanged.getOrCreate(),
                           storage, slot, priority);
}

zel::Connection PropertyData::connectMethodAboutToBeInvoked(
    zel::InlineConnection* storage, const MetaProperty::MethodAboutToBeInvokedSlot& slot, int priority) {
    return connectProfiled("Reflection|Signals|PropertyData|MethodAboutToBeInvoked",
                           m_methodAboutToBeInvoked.getOrCreate(), storage, slot, priority);
}

zel::Connection PropertyData::connectMethodInvoked(zel::InlineConnection* storage,
                                                   const MetaProperty::MethodInvokedSlot& slot,
                                                   int priority) {
    return connectProfiled("Reflection|Signals|PropertyData|MethodInvoked", m_methodInvoked.getOrCreate(),
                           storage, slot, priority);
}

void PropertyData::propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                            NotifyFlags notifyFlags) {
    if (auto* s = m_propertyAboutToBeChanged.get())
        s->emit(property, setterFlags, notifyFlags);
}

void PropertyData::propertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                                   NotifyFlags notifyFlags) {
    if (auto* s = m_propertyChanged.get())
        s->emit(property, setterFlags, notifyFlags);
}

void PropertyData::methodAboutToBeInvoked(const BoundProperty& property, size_t count,
                                          const tavi::Variant* arguments, SetterFlags setterFlags,
                                          NotifyFlags notifyFlags) {
    if (auto* s = m_methodAboutToBeInvoked.get())
        s->emit(property, count, arguments, setterFlags, notifyFlags);
}

void PropertyData::methodInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                                 const tavi::Variant& result, SetterFlags setterFlags,
                                 NotifyFlags notifyFlags) {
    if (auto* s = m_methodInvoked.get())
        s->emit(property, count, arguments, result, setterFlags, notifyFlags);
}

} // namespace orv
