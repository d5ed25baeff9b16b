#pragma once
// Everything a user of the library needs, in one include: declaring types,
// reflecting instances, reading, writing, observing and undoing their
// properties, and the annotation types front-ends read.

#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/multi_selection/meta_items.hpp"
#include "shared_libs/reflection/multi_selection/reduce_map.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/property_set_command.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/stateless.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "shared_libs/reflection/type_info.hpp"
