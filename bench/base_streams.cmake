qv_bench(base_streams DEPS imaging_foundation)
