qv_fuzz(icc_profile DEPS imaging_foundation)
