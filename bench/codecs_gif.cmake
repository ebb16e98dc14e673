# The GIF and LZW units' own sources keep the program independent of the other codecs.
qv_bench(codecs_gif DEPS imaging_io)
target_sources(bench_codecs_gif PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/gif.cpp ${CMAKE_SOURCE_DIR}/imaging/codecs/lzw.cpp)
target_include_directories(bench_codecs_gif PRIVATE ${CMAKE_SOURCE_DIR})
