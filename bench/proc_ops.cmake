qv_bench(proc_ops DEPS imaging_processing)
