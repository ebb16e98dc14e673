qv_fuzz(io_detect DEPS imaging_io)
