# One static library per source folder. Each names the folders it may use, so
# a lower layer that reaches up fails the build instead of slowly tangling:
#
#   zk_add_library(lang DEPENDS core)
#   zk_add_library(net DEPENDS lang SYSTEM_LIBS ws2_32)
#   zk_add_library(cleanup NAME provsweep_cleanup DEPENDS core EXCLUDE main.cpp INTERNAL)
#
# The target is zk_<folder> with '/' turned into '_' (zk_text_charset) unless
# NAME gives another. Dependencies are transitive: a folder may include what
# its dependencies may include. Two checks hold the rule: every quoted include
# of a project folder that is not the folder itself or one it may use stops the
# configure step, and a call into a folder that is not linked fails to link.
#
# Every folder is also part of the installed package (cmake/zk_package.cmake):
# its headers go to include/zk/<folder>/, where the quoted includes rooted at
# the source tree ("lang/string.h") find them through include/zk, and its
# target is exported as zk::<folder> (zk::text_charset). INTERNAL keeps a
# folder out of the package: the program's own code is not library.

set(ZK_SOURCE_FOLDERS cleanup core library lang text/charset io math collections sync net charcodec)

function(zk_folder_target folder out)
  string(REPLACE "/" "_" name "${folder}")
  set(${out} zk_${name} PARENT_SCOPE)
endfunction()

function(zk_add_library folder)
  cmake_parse_arguments(ARG "INTERNAL" "NAME" "DEPENDS;SYSTEM_LIBS;EXCLUDE" ${ARGN})
  zk_folder_target(${folder} folder_target)
  if(ARG_NAME)
    set(target ${ARG_NAME})
  else()
    set(target ${folder_target})
  endif()

  set(dir ${PROJECT_SOURCE_DIR}/${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  # Sorted, so that the archive and the link see the members in one order
  # whatever the file system lists first.
  list(SORT sources)
  list(SORT headers)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${dir}/${excluded})
  endforeach()

  # The folders this one may include: itself and its dependencies' closure.
  set(allowed ${folder})
  set(dep_targets)
  foreach(dep IN LISTS ARG_DEPENDS)
    zk_folder_target(${dep} dep_target)
    if(NOT TARGET ${dep_target})
      message(FATAL_ERROR "${folder} depends on ${dep}, which is declared later or not at all")
    endif()
    get_property(dep_allowed TARGET ${dep_target} PROPERTY ZK_ALLOWED_FOLDERS)
    list(APPEND allowed ${dep_allowed})
    list(APPEND dep_targets ${dep_target})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  zk_check_includes("${folder}" "${allowed}" ${sources} ${headers})

  # The warnings are the build's own business: an installed library does not
  # hand them to its users (nor name a target the package lacks).
  set(include_dirs $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}> $<INSTALL_INTERFACE:include/zk>)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${include_dirs})
    target_link_libraries(${target} PUBLIC ${dep_targets} ${ARG_SYSTEM_LIBS} PRIVATE $<BUILD_INTERFACE:zk_warnings>)
  else()
    # A folder of headers only, or one still waiting for its first unit.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${include_dirs})
    target_link_libraries(${target} INTERFACE ${dep_targets} ${ARG_SYSTEM_LIBS})
  endif()
  set_property(TARGET ${target} PROPERTY ZK_ALLOWED_FOLDERS ${allowed})

  if(NOT ARG_INTERNAL)
    string(REGEX REPLACE "^zk_" "" export_name ${folder_target})
    set_property(TARGET ${target} PROPERTY EXPORT_NAME ${export_name})
    install(TARGETS ${target} EXPORT zkTargets ARCHIVE DESTINATION lib)
    install(FILES ${headers} DESTINATION include/zk/${folder})
  endif()
endfunction()

# Stops the configure step when one of files includes a header of a project
# folder outside allowed.
function(zk_check_includes folder allowed)
  foreach(file IN LISTS ARGN)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" included "${line}")
      get_filename_component(included_dir ${included} DIRECTORY)
      list(FIND ZK_SOURCE_FOLDERS "${included_dir}" known)
      list(FIND allowed "${included_dir}" permitted)
      if(known GREATER -1 AND permitted EQUAL -1)
        message(FATAL_ERROR "${file} includes ${included}: ${folder}/ may use only ${allowed}")
      endif()
    endforeach()
  endforeach()
endfunction()
