# Warnings are errors everywhere; the sanitizer build adds ASan + UBSan.
add_compile_options(-Wall -Wextra -Wpedantic -Werror)
# Fixed buffers cut over-long texts on purpose (snprintf), so GCC's warning
# that flags a possible cut is off; overruns are what must never happen.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-format-truncation)
endif()

if(TAXAPI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
