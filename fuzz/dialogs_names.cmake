qv_fuzz(dialogs_names DEPS imaging_dialogs)
