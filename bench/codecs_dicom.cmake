# The DICOM unit's own sources keep the program independent of the other codecs.
qv_bench(codecs_dicom DEPS imaging_io)
target_sources(bench_codecs_dicom PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/dicom.cpp
  ${CMAKE_SOURCE_DIR}/imaging/codecs/dicom_decoders.cpp ${CMAKE_SOURCE_DIR}/imaging/codecs/dicom_dictionary.cpp)
target_include_directories(bench_codecs_dicom PRIVATE ${CMAKE_SOURCE_DIR})
