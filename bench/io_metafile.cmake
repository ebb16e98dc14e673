qv_bench(io_metafile DEPS imaging_io)
