qv_bench(vector_objects DEPS imaging_vector)
