qv_bench(io_codecs DEPS imaging_io)
