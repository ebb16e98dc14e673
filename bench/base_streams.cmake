# Only the stream and list sources are needed; compiling them in keeps the program free of the graphics stack.
qv_bench(base_streams DEPS platform_base)
target_sources(bench_base_streams PRIVATE ${CMAKE_SOURCE_DIR}/imaging/foundation/qx_streams.cpp
                                          ${CMAKE_SOURCE_DIR}/imaging/foundation/qx_lists.cpp)
target_include_directories(bench_base_streams PRIVATE ${CMAKE_SOURCE_DIR})
