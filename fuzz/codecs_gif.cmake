# The GIF and LZW units' own sources keep the target independent of the other codecs.
qv_fuzz(codecs_gif DEPS imaging_io)
target_sources(fuzz_codecs_gif PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/gif.cpp ${CMAKE_SOURCE_DIR}/imaging/codecs/lzw.cpp)
target_include_directories(fuzz_codecs_gif PRIVATE ${CMAKE_SOURCE_DIR})
