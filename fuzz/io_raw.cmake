qv_fuzz(io_raw DEPS imaging_io)
