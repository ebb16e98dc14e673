qv_bench(view_paint DEPS imaging_view)
