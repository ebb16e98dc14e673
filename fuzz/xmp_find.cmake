qv_fuzz(xmp_find DEPS imaging_foundation)
