qv_bench(graphics_blit DEPS platform_graphics)
