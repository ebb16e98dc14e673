qv_fuzz(codecs_hdp DEPS imaging_codecs)
target_include_directories(fuzz_codecs_hdp PRIVATE ${CMAKE_SOURCE_DIR})
