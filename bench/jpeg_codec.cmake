qv_bench(jpeg_codec DEPS imaging_io)
