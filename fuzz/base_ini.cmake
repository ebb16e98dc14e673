qv_fuzz(base_ini DEPS platform_base)
