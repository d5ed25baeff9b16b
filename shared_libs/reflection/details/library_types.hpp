#pragma once
// The value types of the library itself (handles, method handles, annotation
// and hook types), registered with the value library under fixed names.

namespace orv::library_types_details {

// Registers them once; later calls return at once. Annotations are filed
// under their type's name, so this runs before any declaration builds one
// (the library's own declarations run at load time in any order).
void registerLibraryTypes();

} // namespace orv::library_types_details
