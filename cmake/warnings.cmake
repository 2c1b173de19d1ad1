# Warnings are on in every build. They are errors only where asked for
# (TAXAPI_WERROR: on in the project's presets and CI, off in a plain
# configure, so a packager's compiler or flags cannot break the build over
# a new or false warning).
option(TAXAPI_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wpedantic)
if(TAXAPI_WERROR)
  add_compile_options(-Werror)
endif()
# Fixed buffers cut over-long texts on purpose (snprintf), so GCC's warning
# that flags a possible cut is off; overruns are what must never happen.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-format-truncation)
endif()

if(TAXAPI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
