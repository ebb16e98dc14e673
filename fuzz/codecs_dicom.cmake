qv_fuzz(codecs_dicom DEPS imaging_codecs)
