qv_bench(mview_thumbs DEPS imaging_view)
