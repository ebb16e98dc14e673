# Only the stream routines are needed; compiling them in keeps the target free of the graphics stack.
qv_fuzz(base_buffered_read DEPS platform_base)
target_sources(fuzz_base_buffered_read PRIVATE ${CMAKE_SOURCE_DIR}/imaging/foundation/qx_streams.cpp)
target_include_directories(fuzz_base_buffered_read PRIVATE ${CMAKE_SOURCE_DIR})
