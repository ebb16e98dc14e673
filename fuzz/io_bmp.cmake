qv_fuzz(io_bmp DEPS imaging_io)
