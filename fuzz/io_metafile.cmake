qv_fuzz(io_metafile DEPS imaging_io)
