# Test variants of a stand-in engine: copies of one of its two libraries,
# each built without one entry point, so the tests can see how the process
# copes with a library that lacks it.
include_guard(GLOBAL)

# engine_variants(<aggregate> <root dir> <builder> <kind> <library> <partner> <entry>...)
#
# For every <entry>, builds the target <library>_no_<entry> into
# <root dir>/no_<entry> by calling
#   <builder>(<library>_no_<entry> <kind> <root dir>/no_<entry> <entry>)
# and puts an unchanged copy of <partner>'s library beside it, so QSE_SHLIB
# can name the directory; the copy is made again whenever <partner> is
# rebuilt. The custom target <aggregate> (made on first use, part of ALL)
# builds every variant and copy.
function(engine_variants aggregate root builder kind library partner)
  if(NOT TARGET ${aggregate})
    add_custom_target(${aggregate} ALL)
  endif()
  # A custom command's output cannot name a target's file through a generator
  # expression, so the copy's name is spelled out.
  get_target_property(partner_name ${partner} OUTPUT_NAME)
  if(NOT partner_name)
    set(partner_name ${partner})
  endif()
  set(partner_file ${CMAKE_SHARED_LIBRARY_PREFIX}${partner_name}${CMAKE_SHARED_LIBRARY_SUFFIX})
  foreach(entry ${ARGN})
    set(dir ${root}/no_${entry})
    set(variant ${library}_no_${entry})
    cmake_language(CALL ${builder} ${variant} ${kind} ${dir} ${entry})
    set(copy ${dir}/${partner_file})
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${partner}> ${copy}
      DEPENDS ${partner} $<TARGET_FILE:${partner}>
      COMMENT "Engine variant no_${entry}: copying ${partner_file}"
      VERBATIM)
    target_sources(${aggregate} PRIVATE ${copy})
    add_dependencies(${aggregate} ${variant})
  endforeach()
endfunction()
