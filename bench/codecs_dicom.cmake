# The DICOM unit's own sources keep the program independent of the other codecs; its JPEG 2000 frames of
# more than 8 bits go straight through the library interface.
pkg_check_modules(BENCH_OPENJP2 REQUIRED IMPORTED_TARGET libopenjp2)
qv_bench(codecs_dicom DEPS imaging_io PkgConfig::BENCH_OPENJP2)
target_sources(bench_codecs_dicom PRIVATE ${CMAKE_SOURCE_DIR}/imaging/codecs/dicom.cpp
  ${CMAKE_SOURCE_DIR}/imaging/codecs/dicom_decoders.cpp ${CMAKE_SOURCE_DIR}/imaging/codecs/dicom_dictionary.cpp
  ${CMAKE_SOURCE_DIR}/imaging/codecs/jpeg2000_lib.cpp)
target_include_directories(bench_codecs_dicom PRIVATE ${CMAKE_SOURCE_DIR})
