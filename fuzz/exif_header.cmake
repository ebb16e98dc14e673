qv_fuzz(exif_header DEPS imaging_foundation)
