# The installed package of the class library. `cmake --install` of a build
# puts the headers under include/zk/<folder>/, the static libraries under lib/
# and these files under lib/cmake/zk/, so that another project writes
#
#   find_package(zk 1.0 CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE zk::library)
#
# Each library folder is one exported target (zk_add_library installs it):
# zk::core, zk::lang, zk::text_charset, zk::io, zk::math, zk::collections,
# zk::sync, zk::net and zk::library, linked to one another as in this build and
# to the Windows libraries each needs; zk::zk is the whole library.

include(CMakePackageConfigHelpers)

set(ZK_PACKAGE_DESTINATION lib/cmake/zk)

# Every header includes core/windows_support.h, which refuses a unit built
# without the API level and macros of this build. Inside the build they hold
# for every unit already; a user's units get them from the lowest target, so
# whatever links any zk:: target compiles as the library did. The headers
# need C++17 as well.
target_compile_definitions(zk_core INTERFACE "$<INSTALL_INTERFACE:${ZK_WINDOWS_DEFINITIONS}>")
target_compile_features(zk_core PUBLIC cxx_std_17)

set_property(TARGET zk PROPERTY EXPORT_NAME zk)
install(TARGETS zk EXPORT zkTargets)

install(EXPORT zkTargets NAMESPACE zk:: DESTINATION ${ZK_PACKAGE_DESTINATION} FILE zkTargets.cmake)

# The libraries hold objects of one compiler family: a project compiled by
# the other one (MSVC against mingw-w64's, or the reverse) could not link
# them, so the package says so at find_package instead of at the link.
if(MINGW)
  set(ZK_PACKAGE_TOOLCHAIN mingw)
else()
  set(ZK_PACKAGE_TOOLCHAIN msvc)
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/zkConfig.cmake
  INSTALL_DESTINATION ${ZK_PACKAGE_DESTINATION}
  NO_SET_AND_CHECK_MACRO)
# A 2.x library changes what 1.x users rely on; any 1.y at or above the
# version asked for serves them. The file also refuses a project of the
# other pointer size (an x86 project finding the x86-64 package).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/zkConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/zkConfig.cmake ${CMAKE_BINARY_DIR}/package/zkConfigVersion.cmake
  DESTINATION ${ZK_PACKAGE_DESTINATION})
