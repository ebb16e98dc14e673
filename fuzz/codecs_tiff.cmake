qv_fuzz(codecs_tiff DEPS imaging_codecs imaging_view)
