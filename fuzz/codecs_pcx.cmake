qv_fuzz(codecs_pcx DEPS imaging_codecs)
