qv_bench(ui_paint DEPS platform_ui)
