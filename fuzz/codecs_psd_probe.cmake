qv_fuzz(codecs_psd_probe DEPS imaging_codecs)
