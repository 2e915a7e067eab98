# One static library per source folder. Each names the folders it may use, so
# a lower layer that reaches up fails the build instead of slowly tangling:
#
#   zk_add_library(lang DEPENDS core)
#   zk_add_library(net DEPENDS lang SYSTEM_LIBS ws2_32)
#   zk_add_library(cleanup NAME provsweep_cleanup DEPENDS core EXCLUDE main.cpp)
#
# The target is zk_<folder> with '/' turned into '_' (zk_text_charset) unless
# NAME gives another. Dependencies are transitive: a folder may include what
# its dependencies may include. Two checks hold the rule: every quoted include
# of a project folder that is not the folder itself or one it may use stops the
# configure step, and a call into a folder that is not linked fails to link.

set(ZK_SOURCE_FOLDERS cleanup core library lang text/charset io math collections sync net charcodec)

function(zk_folder_target folder out)
  string(REPLACE "/" "_" name "${folder}")
  set(${out} zk_${name} PARENT_SCOPE)
endfunction()

function(zk_add_library folder)
  cmake_parse_arguments(ARG "" "NAME" "DEPENDS;SYSTEM_LIBS;EXCLUDE" ${ARGN})
  if(ARG_NAME)
    set(target ${ARG_NAME})
  else()
    zk_folder_target(${folder} target)
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

  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${dep_targets} ${ARG_SYSTEM_LIBS} PRIVATE zk_warnings)
  else()
    # A folder of headers only, or one still waiting for its first unit.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${dep_targets} ${ARG_SYSTEM_LIBS})
  endif()
  set_property(TARGET ${target} PROPERTY ZK_ALLOWED_FOLDERS ${allowed})
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
