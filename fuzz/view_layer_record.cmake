qv_fuzz(view_layer_record DEPS imaging_view)
