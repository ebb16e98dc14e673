qv_fuzz(io_media_frames DEPS imaging_io)
