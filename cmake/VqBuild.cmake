# Shared build rules: compiler flags, sanitizers, library and test helpers.
include_guard(GLOBAL)

# Floating-point results must not depend on the compiler's choice of fused
# multiply-adds: every processor path has to agree with the generic one.
add_compile_options(-ffp-contract=off -fno-fast-math -fno-strict-aliasing
                    -Wall -Wextra -Wno-unused-parameter)

if(VQ_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VQ_SANITIZER STREQUAL "fuzz")
  # clang only: the fuzz targets add -fsanitize=fuzzer when they link.
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VQ_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VQ_SANITIZER STREQUAL "")
  message(FATAL_ERROR "VQ_SANITIZER must be address, fuzz, thread or empty")
endif()

# Sanitizer builds fill the buffers of containers created without the zero
# fill with a poison byte, so that any reader relying on zeros nobody wrote
# shows wrong pixels in the tests instead of passing on freshly mapped memory.
if(NOT VQ_SANITIZER STREQUAL "")
  add_compile_definitions(VQ_POISON_UNCLEARED)
endif()

# Debug information: line tables are all that sanitizer reports and
# backtraces need, and full variable information made the test build about
# 6 GB (every test binary links the libraries it uses statically). Compressed
# debug sections shrink what remains by about half again.
# The sanitizer test build links the project's libraries as shared objects:
# about a hundred test executables each carried static copies of everything
# they use, which took several gigabytes of disk. Release and fuzz builds
# stay static.
if(VQ_SANITIZER STREQUAL "address")
  set(VQ_LIBRARY_TYPE SHARED)
else()
  set(VQ_LIBRARY_TYPE STATIC)
endif()

option(VQ_COMPACT_DEBUG "Line-table debug information in compressed sections" ON)
if(VQ_COMPACT_DEBUG)
  add_compile_options($<$<CONFIG:Debug,RelWithDebInfo>:-g1> -gz=zlib)
  add_link_options(-Wl,--compress-debug-sections=zlib)
endif()

find_package(Threads REQUIRED)

# Instruction-set flags of the processor paths 1-5. Path code lives in files
# named *_p<N>.cpp or in a folder p<N>/; only those files get the flag, so no
# path's instructions reach code that another path (or the generic path) runs.
set(VQ_PATH_FLAGS_1 -msse2)
set(VQ_PATH_FLAGS_2 -msse3)
set(VQ_PATH_FLAGS_3 -mssse3)
set(VQ_PATH_FLAGS_4 -msse4.1)
set(VQ_PATH_FLAGS_5 -mavx)

function(vq_apply_path_flags)
  foreach(src IN LISTS ARGN)
    # Two separate tests: a failed MATCHES clears CMAKE_MATCH_1, so one
    # combined condition would lose the path number of the first pattern.
    set(path "")
    if(src MATCHES "_p([1-5])\\.cpp$")
      set(path ${CMAKE_MATCH_1})
    elseif(src MATCHES "/p([1-5])/[^/]+\\.cpp$")
      set(path ${CMAKE_MATCH_1})
    endif()
    if(path)
      set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "${VQ_PATH_FLAGS_${path}}")
    endif()
  endforeach()
endfunction()

# vq_library(NAME [RECURSE] [DIRS ...] [LIBS ...] [PRIVATE_LIBS ...])
# Declares one static library from the *.cpp files of the current folder
# (and its sub-folders with RECURSE, or only the named sub-folders with
# DIRS). Headers are included as "folder/file.h" from the project root.
function(vq_library name)
  cmake_parse_arguments(L "RECURSE" "" "DIRS;LIBS;PRIVATE_LIBS" ${ARGN})
  if(L_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  elseif(L_DIRS)
    set(srcs "")
    foreach(d IN LISTS L_DIRS)
      file(GLOB_RECURSE dsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.c)
      list(APPEND srcs ${dsrcs})
    endforeach()
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  endif()
  if(srcs)
    add_library(${name} ${VQ_LIBRARY_TYPE} ${srcs})
    vq_apply_path_flags(${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_LIBS} Threads::Threads PRIVATE ${L_PRIVATE_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${L_LIBS})
  endif()
endfunction()

# vq_test(NAME SOURCES ... LIBS ... LABELS ...)
# One GoogleTest executable; every test case becomes a CTest test carrying LABELS.
function(vq_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_executable(${name} ${T_SOURCES})
  vq_apply_path_flags(${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vq_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  set(first_label "")
  if(T_LABELS)
    list(GET T_LABELS 0 first_label)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${first_label}" TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT "VQ_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
  vq_label_discovered_tests(${name} ${T_LABELS})
endfunction()

# vq_label_discovered_tests(NAME LABEL ...)
# Gives every test discovered in executable NAME all its labels. A list
# cannot travel through gtest_discover_tests' PROPERTIES (it is split into
# separate words, so only the first label sticks there); with more than one
# label, a small script included after the discovery script sets them all.
function(vq_label_discovered_tests name)
  list(LENGTH ARGN count)
  if(count LESS 2)
    return()
  endif()
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
  file(WRITE "${script}"
    "if(DEFINED ${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${ARGN}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
