# The coders' own source keeps the program independent of the other codecs.
qv_bench(codecs_ccitt DEPS imaging_io)
target_sources(bench_codecs_ccitt PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/ccitt.cpp)
target_include_directories(bench_codecs_ccitt PRIVATE ${CMAKE_SOURCE_DIR})
