# Warnings are errors everywhere; the sanitizer build adds ASan + UBSan.
# Fixed buffers cut over-long texts on purpose (snprintf), so the warning that
# flags a possible cut is off; overruns are what must never happen.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wno-format-truncation)

if(TAXAPI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
