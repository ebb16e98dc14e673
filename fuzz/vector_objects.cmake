qv_fuzz(vector_objects DEPS imaging_vector)
