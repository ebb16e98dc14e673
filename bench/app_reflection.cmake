if(TARGET quorvel_app)
  qv_bench(app_reflection DEPS quorvel_app)
endif()
