qv_bench(vector_bands DEPS imaging_vector)
