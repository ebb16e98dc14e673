# Shared helpers for the project's targets.

# Warnings as errors in our own code only.
function(qv_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Werror
    -Wno-unused-parameter -Wno-sign-compare -Wno-missing-field-initializers
    $<$<CXX_COMPILER_ID:GNU>:-Wno-stringop-overflow -Wno-stringop-overread -Wno-restrict -Wno-array-bounds -Wno-maybe-uninitialized>
    $<$<CXX_COMPILER_ID:Clang>:-Wno-unused-private-field>)
endfunction()

# qv_library(<target> [SOURCES_FROM dir...] [DEPS libs...])
# A static library of every .cpp in the calling folder (and the extra folders named).
function(qv_library target)
  cmake_parse_arguments(A "" "" "SOURCES_FROM;DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.c")
  foreach(d ${A_SOURCES_FROM})
    file(GLOB more CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.c")
    list(APPEND srcs ${more})
  endforeach()
  if(NOT srcs)
    # Nothing written here yet: an interface target keeps dependants linking.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${CMAKE_SOURCE_DIR}")
    target_link_libraries(${target} INTERFACE ${A_DEPS} Threads::Threads)
    return()
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${A_DEPS} Threads::Threads)
  qv_warnings(${target})
endfunction()

# qv_test(<name> DEPS libs...): one GoogleTest binary from every .cpp in the calling folder.
function(qv_test name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} "${CMAKE_SOURCE_DIR}/tests/test_env.cpp")
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    QV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QV_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    QV_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  qv_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    PROPERTIES ENVIRONMENT "QV_BACKEND=headless")
endfunction()

# qv_embed_png(<target> <folder> <header> <entry type> <table name>): the PNGs of folder embedded in target
# as a table of { name, data, size } that header declares.
function(qv_embed_png target folder header entry table)
  file(GLOB pngs CONFIGURE_DEPENDS "${folder}/*.png")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${table}_data.cpp")
  add_custom_command(OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} "-DART_DIR=${folder}" "-DOUT=${out}" "-DHEADER=${header}" "-DENTRY=${entry}"
            "-DTABLE=${table}" -P "${CMAKE_SOURCE_DIR}/cmake/EmbedPng.cmake"
    DEPENDS ${pngs} "${CMAKE_SOURCE_DIR}/cmake/EmbedPng.cmake")
  target_sources(${target} PRIVATE "${out}")
endfunction()
