# What makes a shipped binary a release: its version resource, reproducible
# output and the debug information split off into a file of its own.
#
# The version resource: the version is the project's own
# (project(... VERSION)); the maker and the copyright are set here once.
#
#   zk_add_version_info(provsweep DESCRIPTION_JA "..." DESCRIPTION_EN "...")
#
# The resource script cmake/version_info.rc is copied beside a header
# generated for the target, so that both windres and rc.exe find the values
# by the including file's folder, with no include path of their own.

set(ZK_PRODUCT_NAME "provsweep")
set(ZK_COMPANY_NAME "Lumtrabex")
set(ZK_COPYRIGHT_YEAR 2026)
set(ZK_COPYRIGHT_EN "Copyright (C) ${ZK_COPYRIGHT_YEAR} Lumtrabex. All rights reserved.")
set(ZK_COPYRIGHT_JA "Copyright (C) ${ZK_COPYRIGHT_YEAR} Lumtrabex. 無断転載を禁じます。")

function(zk_add_version_info target)
  cmake_parse_arguments(ARG "" "DESCRIPTION_JA;DESCRIPTION_EN" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(ZK_VI_FILE_TYPE 0x1L)
    set(suffix ${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(ZK_VI_FILE_TYPE 0x2L)
    set(suffix ${CMAKE_SHARED_MODULE_SUFFIX})
  endif()
  set(ZK_VI_TARGET ${target})
  set(ZK_VI_ORIGINAL_FILENAME ${output_name}${suffix})
  set(ZK_VI_INTERNAL_NAME ${output_name})
  set(ZK_VI_DESCRIPTION_JA "${ARG_DESCRIPTION_JA}")
  set(ZK_VI_DESCRIPTION_EN "${ARG_DESCRIPTION_EN}")

  set(dir ${CMAKE_BINARY_DIR}/version_info/${target})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.h.in ${dir}/zk_version_info.h @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.rc ${dir}/version_info.rc COPYONLY)
  set_source_files_properties(${dir}/version_info.rc PROPERTIES OBJECT_DEPENDS ${dir}/zk_version_info.h)
  target_sources(${target} PRIVATE ${dir}/version_info.rc)
endfunction()

# Reproducible output: two builds of the same commit in two folders give the
# same bytes. The linker writes no time stamp into the PE header, and no
# absolute path of the source or build folder reaches an object (debug
# information, __FILE__): both are mapped to the folder a source package of
# this release would unpack to. Source lists are sorted (zk_add_library).
# objcopy would stamp the current time into every PE it rewrites unless
# SOURCE_DATE_EPOCH names another; the time of the last commit is used, or
# the one the caller exports, or 0 outside a git checkout.
if(MINGW)
  add_link_options(-Wl,--no-insert-timestamp)
  set(ZK_SOURCE_MAP_PREFIX /usr/src/provsweep-${PROJECT_VERSION})
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=${ZK_SOURCE_MAP_PREFIX}
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}=${ZK_SOURCE_MAP_PREFIX}/build)
  # A compiler launcher such as ccache with a base folder hands the compiler
  # paths relative to the build folder (../../core/mutex.cpp), wherever that
  # lies: they get the same name as the absolute ones, so a cached build and
  # a plain one agree.
  file(RELATIVE_PATH source_from_build ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  string(REGEX REPLACE "/$" "" source_from_build "${source_from_build}")
  if(NOT IS_ABSOLUTE "${source_from_build}")
    add_compile_options(-ffile-prefix-map=${source_from_build}/=${ZK_SOURCE_MAP_PREFIX}/)
  endif()
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ZK_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE ZK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_result)
  if(NOT git_result EQUAL 0 OR NOT ZK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(ZK_SOURCE_DATE_EPOCH 0)
  endif()
endif()

# Release binaries are shipped stripped; their debug information goes to
# <file>.debug beside each, which the binary names in its .gnu_debuglink
# section, so a crash dump from a customer's machine can still be read with
# this build's symbols. The build then compiles with -g (the option turns it
# on); builds that keep their symbols inline (the checked one) leave it off.
option(ZK_SEPARATE_DEBUG_INFO "Compile with debug information and move it out of each shipped binary into <file>.debug" OFF)
if(ZK_SEPARATE_DEBUG_INFO AND MINGW)
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "ZK_SEPARATE_DEBUG_INFO needs objcopy of the target's binutils (CMAKE_OBJCOPY)")
  endif()
  add_compile_options(-g)
endif()

function(zk_split_debug_info target)
  if(NOT (ZK_SEPARATE_DEBUG_INFO AND MINGW))
    return()
  endif()
  set(file $<TARGET_FILE:${target}>)
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZK_SOURCE_DATE_EPOCH} ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug ${file} ${file}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${file}.debug ${file}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
