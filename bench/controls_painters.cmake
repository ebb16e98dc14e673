qv_bench(controls_painters DEPS controls)
