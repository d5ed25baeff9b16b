# Installation, the CMake package configuration and the Debian package.
#
#   cmake --install <build> --prefix <prefix>
#   find_package(reflection 0.2 CONFIG REQUIRED)          # in another project
#   target_link_libraries(app PRIVATE reflection::reflection)
#   cpack -G DEB                                           # in <build>
include(CMakePackageConfigHelpers)

install(DIRECTORY platform orv_cpp_utils shared_libs
        DESTINATION ${REFLECTION_INSTALL_INCLUDEDIR}
        COMPONENT development
        FILES_MATCHING PATTERN "*.hpp")

set(REFLECTION_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/reflection)
install(EXPORT reflectionTargets NAMESPACE reflection:: DESTINATION ${REFLECTION_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(cmake/reflectionConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/reflectionConfig.cmake
                              INSTALL_DESTINATION ${REFLECTION_CMAKE_DIR})
# 0.x releases may change the interface between minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/reflectionConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/reflectionConfig.cmake ${PROJECT_BINARY_DIR}/reflectionConfigVersion.cmake
        DESTINATION ${REFLECTION_CMAKE_DIR} COMPONENT development)

if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

# One package with the libraries and the headers: the headers are useless
# without the libraries and small next to them.
set(CPACK_PACKAGE_NAME "libreflection-dev")
set(CPACK_PACKAGE_VENDOR "reflection developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Run-time reflection for game editor tools (libraries and headers)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "reflection developers <reflection@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libboost-dev")
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
