qv_bench(codecs_raw DEPS imaging_codecs imaging_view)
target_include_directories(bench_codecs_raw PRIVATE ${CMAKE_SOURCE_DIR})
