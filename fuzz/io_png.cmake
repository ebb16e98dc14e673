qv_fuzz(io_png DEPS imaging_io)
