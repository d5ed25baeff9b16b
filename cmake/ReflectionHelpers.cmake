include(GNUInstallDirs)

# Installed headers keep the paths they have in this tree under one include
# root, so `#include "shared_libs/reflection/bound_property.hpp"` works the
# same inside the tree, from an installed copy and from add_subdirectory().
set(REFLECTION_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/reflection)

# Declares a shared library of this tree whose includes start at the
# repository root, installs it into the package's export set and gives it
# the `reflection::` alias an outside project links to.
function(reflection_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION}
                                           SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  # Calls between the functions of one library bind inside it and may be
  # inlined: nobody replaces them at load time (inline and template
  # functions, which are shared across libraries, are not affected).
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-fno-semantic-interposition>)
  reflection_export_target(${name})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# Include root, alias and installation shared by compiled and header-only
# libraries.
function(reflection_export_target name)
  get_target_property(type ${name} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  target_include_directories(${name} ${scope} $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                              $<INSTALL_INTERFACE:${REFLECTION_INSTALL_INCLUDEDIR}>)
  add_library(reflection::${name} ALIAS ${name})
  install(TARGETS ${name} EXPORT reflectionTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endfunction()

# Declares a plugin: a module an editor loads at run time with dlopen. Its
# template instances are not made unique symbols (-fno-gnu-unique), which
# would keep it loaded for good: unloading it destroys the meta objects it
# declared, so its types leave the registry. The program that loads plugins
# exports its symbols (ENABLE_EXPORTS), so that a plugin shares the meta
# objects of the program's types instead of building its own.
function(reflection_add_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE reflection ${ARG_LIBS})
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
endfunction()
