qv_fuzz(annot_buffer DEPS imaging_foundation)
