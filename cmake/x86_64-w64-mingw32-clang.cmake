# Cross toolchain for a second opinion on the x86-64 code: Debian's clang
# targeting mingw-w64, over the same Windows headers, import libraries and C++
# runtime (libstdc++ of the POSIX-thread mingw-w64 GCC) as the GCC build, so
# the two builds differ in the compiler alone. Clang finds the mingw-w64
# headers and libraries itself but not GCC's C++ headers and runtime, whose
# folder is asked of the GCC driver.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZK_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ZK_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ZK_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${ZK_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

execute_process(COMMAND ${ZK_MINGW_TRIPLE}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE zk_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE zk_gcc_result)
if(NOT zk_gcc_result EQUAL 0 OR NOT EXISTS "${zk_libgcc}")
  message(FATAL_ERROR "the clang build uses the C++ runtime of ${ZK_MINGW_TRIPLE}-g++-posix, which was not found")
endif()
get_filename_component(ZK_MINGW_GCC_DIR "${zk_libgcc}" DIRECTORY)
# System folders (-isystem), so their code raises none of our warnings.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${ZK_MINGW_GCC_DIR}/include/c++
    ${ZK_MINGW_GCC_DIR}/include/c++/${ZK_MINGW_TRIPLE}
    ${ZK_MINGW_GCC_DIR}/include/c++/backward)

# The runtime was built by GCC, whose ABI on mingw-w64 differs from clang's
# defaults in two places: thread-local variables (libstdc++'s call_once state)
# are emulated, and type_info's comparison is an out-of-line function of the
# runtime, not an inline one every object would define again. Flags given to
# the cache (CMAKE_CXX_FLAGS) replace these, so a preset must not set them.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -D__GXX_TYPEINFO_EQUALITY_INLINE=0 -D__GXX_MERGED_TYPEINFO_NAMES=0")

# Linked statically like the GCC build. The GCC driver links libstdc++ and
# libgcc from its own folder and always adds winpthreads (the thread model
# of that runtime); clang must be told both.
set(zk_link_flags "-static -L${ZK_MINGW_GCC_DIR} -pthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${zk_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${zk_link_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${zk_link_flags}")
