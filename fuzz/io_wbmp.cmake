qv_fuzz(io_wbmp DEPS imaging_io)
