qv_fuzz(io_pnm DEPS imaging_io)
