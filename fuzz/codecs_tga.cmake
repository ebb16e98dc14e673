qv_fuzz(codecs_tga DEPS imaging_codecs)
