qv_fuzz(dib_import DEPS imaging_foundation)
