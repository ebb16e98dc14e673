qv_fuzz(view_layers_probe DEPS imaging_view)
