qv_fuzz(view_layers_file DEPS imaging_view)
