qv_fuzz(xmp_parse DEPS imaging_io)
