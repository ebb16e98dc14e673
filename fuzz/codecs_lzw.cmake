# The coders alone: their own source keeps the target independent of the other codecs.
qv_fuzz(codecs_lzw DEPS imaging_io)
target_sources(fuzz_codecs_lzw PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/lzw.cpp)
target_include_directories(fuzz_codecs_lzw PRIVATE ${CMAKE_SOURCE_DIR})
