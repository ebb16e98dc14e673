qv_fuzz(iptc_parse DEPS imaging_foundation)
