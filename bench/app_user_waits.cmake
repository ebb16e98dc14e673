if(TARGET quorvel_app)
  qv_bench(app_user_waits DEPS quorvel_app)
endif()
