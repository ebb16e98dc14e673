qv_fuzz(raw_bitmap DEPS imaging_foundation)
