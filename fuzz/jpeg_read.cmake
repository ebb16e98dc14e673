qv_fuzz(jpeg_read DEPS imaging_io)
