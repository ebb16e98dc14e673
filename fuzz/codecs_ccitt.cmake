# The coders alone: their own source keeps the target independent of the other codecs.
qv_fuzz(codecs_ccitt DEPS imaging_io)
target_sources(fuzz_codecs_ccitt PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/ccitt.cpp)
target_include_directories(fuzz_codecs_ccitt PRIVATE ${CMAKE_SOURCE_DIR})
