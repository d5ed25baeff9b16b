#pragma once
// Forward declarations of the library's public types, for headers that only
// pass handles around. Include "shared_libs/reflection/reflection.hpp" (or the
// chief header of one concept) where the types are used.

#include <cstdint>

namespace tavi {
class Variant;
class MetaType;
} // namespace tavi

namespace zel {
template <class Enum>
class Flags;
class Connection;
class ScopedConnection;
} // namespace zel

namespace orv {

class Annotations;
class MetaObject;
class MetaObjectManager;
class MetaProperty;
class TypeInfo;
template <int N>
class NotifyableMetaObject;
template <int N>
class NotifyableMetaProperty;
template <int N>
class BaseStaticMetaObject;
template <class T>
class StaticMetaObject;
template <class T>
struct TypeDeclaration;
template <class... B>
struct Bases;

class ReflectedObject;
class ObjectData;
class BoundProperty;
class PropertyData;
class ReflectedObjectContextData;
class ReflectedObjectReference;
class BoundPropertyContextData;

class NotifyScope;
class PropertyChangeNotifier;
class MethodInvokeNotifier;
class PropertiesAddNotifier;
class PropertiesRemoveNotifier;
class PropertiesResetNotifier;

class PersistentObject;
class PersistentProperty;
class PropertySetCommand;
class PropertyRevertCommand;

class BaseObjectTrackerItem;
class MultiSelection;
class ReduceMap;
class EqualReduceMap;
class AverageReduceMap;
class AverageEulerAnglesReduceMap;
class AverageTransformReduceMap;
template <class T>
class SnapReduce;
class StringJoinReduce;
class GenericObject;
class GenericMetaObject;
enum class VolatilityType : int32_t;
template <class Container, int N>
class SequentialCollectionMetaObject;
class UndoContainerBase;
class RemoveFromContainer;
template <class T>
class InsertIntoContainer;

class XMLSerializer;
class XMLWriter;
class XMLReader;

enum class SetterFlag : uint32_t;
enum class NotifyFlag : uint32_t;
using SetterFlags = zel::Flags<SetterFlag>;
using NotifyFlags = zel::Flags<NotifyFlag>;

} // namespace orv
