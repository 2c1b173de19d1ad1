# Installation: a tree that runs as it stands. With QSE=<prefix> and no
# other variable, taxapi finds the engine libraries in <prefix>/shlib, the
# directory beside its bin directory (the loader's own rule).
include(GNUInstallDirs)

set(TAXAPI_SHLIB_DIR shlib)
set(TAXAPI_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/taxapi)

install(TARGETS taxapi taxapi-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# $QSE/log, where the logs go with QSE=<prefix>. Shared by every user of the
# tree like /tmp: each user's taxapi keeps its logs in a directory of its own
# below it, and the sticky bit keeps users from removing or renaming each
# other's. install() has no sticky permission, so the staged directory
# (cpack's, or a DESTDIR's) is chmodded.
install(DIRECTORY DESTINATION log COMPONENT runtime)
install(CODE [[
  set(_log "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/log")
  execute_process(COMMAND chmod 1777 "${_log}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "cannot make ${_log} mode 1777")
  endif()
]] COMPONENT runtime)

foreach(engine avptax avpzip vst loc)
  if(TARGET ${engine})
    install(TARGETS ${engine} LIBRARY DESTINATION ${TAXAPI_SHLIB_DIR} COMPONENT runtime)
  endif()
endforeach()

# The stand-ins' sample data, their environment scripts and notes.
foreach(engine avp vertex)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/engines/${engine}/data/
          DESTINATION ${TAXAPI_SHARE_DIR}/${engine}/data COMPONENT runtime)
  # The environment scripts are sourced, never run: plain files.
  install(FILES ${PROJECT_SOURCE_DIR}/engines/${engine}/demo_env.sh
                ${PROJECT_SOURCE_DIR}/engines/${engine}/README.md
          DESTINATION ${TAXAPI_SHARE_DIR}/${engine} COMPONENT runtime)
endforeach()

# taxapi-client's sample request files for the stand-ins (replay).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/peer/requests/ DESTINATION ${TAXAPI_SHARE_DIR}/requests COMPONENT runtime)

install(FILES ${PROJECT_SOURCE_DIR}/man/taxapi.1 ${PROJECT_SOURCE_DIR}/man/taxapi-client.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
