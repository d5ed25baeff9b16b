# Declares a shared library of this tree whose includes start at the repository root.
function(reflection_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
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
