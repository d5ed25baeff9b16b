#include "shared_libs/reflection/details/library_types.hpp"

#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/multi_selection/meta_items.hpp"
#include "shared_libs/reflection/multi_selection/reduce_map.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/stateless.hpp"

namespace orv::library_types_details {

void registerLibraryTypes() {
    using tavi::MetaType;
    static const MetaType* const s_types[] = {
        // A handle is a Variant too: it keys the undo command recorded for it.
        MetaType::registerType<BoundProperty>("orv::BoundProperty"),
        MetaType::registerType<MetaProperty::Method>("Method"),
        // What the property paths read.
        MetaType::registerType<Meta::Visible>("Meta::Visible"),
        MetaType::registerType<Meta::ReadOnly>("Meta::ReadOnly"),
        MetaType::registerType<Meta::Children>("Meta::Children"),
        MetaType::registerType<Meta::Stateless>("Meta::Stateless"),
        MetaType::registerType<Meta::Minor>("Meta::Minor"),
        MetaType::registerType<Meta::Dependent>("Meta::Dependent"),
        MetaType::registerType<Meta::Validator>("Meta::Validator"),
        MetaType::registerType<Meta::ValueExtractor>("Meta::ValueExtractor"),
        MetaType::registerType<Meta::Validator::RangeProbe>("Meta::Validator::RangeProbe"),
        MetaType::registerType<Meta::View::ColorPicker>("Meta::View::ColorPicker"),
        MetaType::registerType<Meta::MultiSelection::ReduceMap>("Meta::MultiSelection::ReduceMap"),
        MetaType::registerType<Meta::MultiSelection::ObjectType>("Meta::MultiSelection::ObjectType"),
        MetaType::registerType<Meta::MultiSelection::Priority>("Meta::MultiSelection::Priority"),
        MetaType::registerType<Meta::MultiSelection::Persistent>("Meta::MultiSelection::Persistent"),
        // Hooks.
        MetaType::registerType<Meta::OnPropertyAboutToBeChanged>("Meta::OnPropertyAboutToBeChanged"),
        MetaType::registerType<Meta::OnPropertyChanged>("Meta::OnPropertyChanged"),
        MetaType::registerType<Meta::OnMethodAboutToBeInvoked>("Meta::OnMethodAboutToBeInvoked"),
        MetaType::registerType<Meta::OnMethodInvoked>("Meta::OnMethodInvoked"),
        MetaType::registerType<Meta::OnPropertiesAboutToBeReset>("Meta::OnPropertiesAboutToBeReset"),
        MetaType::registerType<Meta::OnPropertiesReset>("Meta::OnPropertiesReset"),
        MetaType::registerType<Meta::OnPropertyAboutToBeAdded>("Meta::OnPropertyAboutToBeAdded"),
        MetaType::registerType<Meta::OnPropertyAdded>("Meta::OnPropertyAdded"),
        MetaType::registerType<Meta::OnPropertyAboutToBeRemoved>("Meta::OnPropertyAboutToBeRemoved"),
        MetaType::registerType<Meta::OnPropertyRemoved>("Meta::OnPropertyRemoved"),
        // What editor front-ends read.
        MetaType::registerType<Meta::Label::Text>("Meta::Label::Text"),
        MetaType::registerType<Meta::Group>("Meta::Group"),
        MetaType::registerType<Meta::ToolTip>("Meta::ToolTip"),
        MetaType::registerType<Meta::Precision>("Meta::Precision"),
        MetaType::registerType<Meta::Step>("Meta::Step"),
        MetaType::registerType<Meta::Position>("Meta::Position"),
        MetaType::registerType<Meta::Rotation>("Meta::Rotation"),
        MetaType::registerType<Meta::Rotation::Axis>("Meta::Rotation::Axis"),
        MetaType::registerType<Meta::Scale>("Meta::Scale"),
        MetaType::registerType<Meta::Scale::Type>("Meta::Scale::Type"),
        MetaType::registerType<Meta::Tile>("Meta::Tile"),
        MetaType::registerType<Meta::Option::List>("Meta::Option::List"),
        MetaType::registerType<Meta::DelegateLabel>("Meta::DelegateLabel"),
        MetaType::registerType<Meta::Button::Text>("Meta::Button::Text"),
        MetaType::registerType<Meta::DialogTitle>("Meta::DialogTitle"),
        MetaType::registerType<Meta::Grid>("Meta::Grid"),
        MetaType::registerType<Meta::Grid::Layout>("Meta::Grid::Layout"),
        MetaType::registerType<Meta::Radius>("Meta::Radius"),
        MetaType::registerType<Meta::Angle>("Meta::Angle"),
        MetaType::registerType<Meta::WorldTransform>("Meta::WorldTransform"),
        MetaType::registerType<Meta::Gizmo::Static>("Meta::Gizmo::Static"),
        MetaType::registerType<Meta::SceneItem>("Meta::SceneItem"),
        MetaType::registerType<Meta::Value>("Meta::Value"),
        MetaType::registerType<Meta::View::ImagePath>("Meta::View::ImagePath"),
    };
    (void)s_types;
}

namespace {
// Code that builds annotations without declaring anything finds the names too.
const bool s_registeredAtLoad = (registerLibraryTypes(), true);
} // namespace

} // namespace orv::library_types_details
