# Build flags as INTERFACE targets that each target links (PRIVATE), so what
# a target is built with is said on the target itself:
#   taxapi_warnings  warnings everywhere; errors only where asked for
#                    (TAXAPI_WERROR: on in the project's presets and CI, off
#                    in a plain configure, so a packager's compiler or flags
#                    cannot break the build over a new or false warning);
#   taxapi_sanitize  AddressSanitizer + UndefinedBehaviorSanitizer with
#                    TAXAPI_SANITIZE, for every target of the build;
#   taxapi_coverage  GCC's coverage instrumentation (--coverage) without
#                    optimisation, with TAXAPI_COVERAGE (the coverage
#                    preset; scripts/coverage.sh reports it);
#   taxapi_build     all three: what every target of the project links;
#   taxapi_test_code taxapi_build, and test code built without optimisation
#                    (it runs for milliseconds, and optimising its large
#                    tables doubles the suite's build time).
option(TAXAPI_WERROR "Treat compiler warnings as errors" OFF)
option(TAXAPI_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(taxapi_warnings INTERFACE)
target_compile_options(taxapi_warnings INTERFACE -Wall -Wextra -Wpedantic $<$<BOOL:${TAXAPI_WERROR}>:-Werror>)
# Fixed buffers cut over-long texts on purpose (snprintf), so GCC's warning
# that flags a possible cut is off; overruns are what must never happen.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(taxapi_warnings INTERFACE -Wno-format-truncation)
endif()

add_library(taxapi_sanitize INTERFACE)
if(TAXAPI_SANITIZE)
  target_compile_options(taxapi_sanitize INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
  target_link_options(taxapi_sanitize INTERFACE -fsanitize=address,undefined)
endif()

option(TAXAPI_COVERAGE "Build with GCC's coverage instrumentation, without optimisation" OFF)
add_library(taxapi_coverage INTERFACE)
if(TAXAPI_COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "TAXAPI_COVERAGE: the coverage build is a GCC build (gcov reads its data)")
  endif()
  target_compile_options(taxapi_coverage INTERFACE --coverage -O0)
  target_link_options(taxapi_coverage INTERFACE --coverage)
endif()

add_library(taxapi_build INTERFACE)
target_link_libraries(taxapi_build INTERFACE taxapi_warnings taxapi_sanitize taxapi_coverage)

add_library(taxapi_test_code INTERFACE)
target_link_libraries(taxapi_test_code INTERFACE taxapi_build)
target_compile_options(taxapi_test_code INTERFACE $<$<NOT:$<CONFIG:Debug>>:-O0>)

# taxapi_require(<what> <target>...): configuration fails when a target that
# <what> needs is missing, so a suite or tool never silently vanishes.
function(taxapi_require what)
  foreach(target ${ARGN})
    if(NOT TARGET ${target})
      message(FATAL_ERROR "${what}: the target ${target} is not built by this configuration")
    endif()
  endforeach()
endfunction()
