qv_fuzz(io_zlib DEPS imaging_io)
