qv_fuzz(vector_text_clip DEPS imaging_vector)
