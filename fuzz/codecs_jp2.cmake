# The JPEG 2000 unit alone: its own sources keep the target independent of the other codecs.
pkg_check_modules(FUZZ_OPENJP2 REQUIRED IMPORTED_TARGET libopenjp2)
qv_fuzz(codecs_jp2 DEPS imaging_io PkgConfig::FUZZ_OPENJP2)
target_sources(fuzz_codecs_jp2 PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/jpeg2000.cpp
               ${CMAKE_SOURCE_DIR}/imaging/codecs/jpeg2000_lib.cpp)
target_include_directories(fuzz_codecs_jp2 PRIVATE ${CMAKE_SOURCE_DIR})
