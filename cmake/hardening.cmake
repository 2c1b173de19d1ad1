# Hardening of what ships: taxapi, taxapi-client, the static libraries they
# are made of and the stand-in engine libraries link taxapi_hardening.
# The tests do not: their code is built at -O0, where glibc's
# _FORTIFY_SOURCE only warns, and they ship nowhere. Off with the sanitizers,
# whose instrumentation does the checking there.
option(TAXAPI_HARDEN "Build the shipped programs and libraries hardened (fortify, stack protector, PIE, full RELRO)" ON)

add_library(taxapi_hardening INTERFACE)
if(TAXAPI_HARDEN AND NOT TAXAPI_SANITIZE)
  set(_exe "$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>")
  set(_linked "$<IN_LIST:$<TARGET_PROPERTY:TYPE>,EXECUTABLE;SHARED_LIBRARY;MODULE_LIBRARY>")
  # _FORTIFY_SOURCE needs the optimiser; -U first, so a level that the
  # packager's flags or the compiler's defaults bring is replaced, not redefined.
  target_compile_options(taxapi_hardening INTERFACE
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
    -fstack-protector-strong
    $<${_exe}:-fPIE>)
  # Libraries are PIC already (POSITION_INDEPENDENT_CODE), so PIE executables
  # may take them in.
  target_link_options(taxapi_hardening INTERFACE
    $<${_exe}:-pie>
    $<${_linked}:LINKER:-z,relro,-z,now>)
endif()
