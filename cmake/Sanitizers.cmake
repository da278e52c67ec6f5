# Sanitizers apply to everything built here, tests included, so that a fault in
# a test's use of project code is caught as well.
if(TARSEN_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(TARSEN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TARSEN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TARSEN_SANITIZE must be empty, address or thread")
endif()
