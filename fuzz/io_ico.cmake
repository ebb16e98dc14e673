qv_fuzz(io_ico DEPS imaging_io)
