qv_fuzz(codecs_psd DEPS imaging_codecs imaging_view)
