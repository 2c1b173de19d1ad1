# Warnings are errors everywhere; the sanitizer build adds ASan + UBSan.
add_compile_options(-Wall -Wextra -Wpedantic -Werror)

if(TAXAPI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
