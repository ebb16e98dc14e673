qv_fuzz(io_exif DEPS imaging_codecs imaging_view)
