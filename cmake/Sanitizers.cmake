# Sanitizers are applied to the whole build so that libraries and tests agree
# on the runtime; mixing instrumented and plain objects hides reports.
if(MOVREK_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(MOVREK_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT MOVREK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "MOVREK_SANITIZE must be empty, 'address' or 'thread'")
endif()
