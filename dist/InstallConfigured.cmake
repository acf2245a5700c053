# Install-time step of dist/CMakeLists.txt: fills in the installed paths and
# the version in the man pages, the changelog and the systemd unit, gzips
# those installed compressed, and installs the results. The variables
# OMBRIX_* are set by the install(CODE) just before.
string(RANDOM LENGTH 12 scratch)
set(scratch "${OMBRIX_DIST_BINARY}/configured-${scratch}")
foreach(entry IN LISTS OMBRIX_CONFIGURED)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 destination)
  get_filename_component(name "${source}" NAME)
  string(REGEX REPLACE "\\.in$" "" name "${name}")
  configure_file("${OMBRIX_DIST_SOURCE}/${source}" "${scratch}/${name}" @ONLY)
  if(entry MATCHES ";gz$")
    # -n: no name or time stamp in the header, so that the same page gives
    # the same bytes at every build.
    execute_process(COMMAND gzip -9n "${scratch}/${name}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip -9n ${scratch}/${name} failed")
    endif()
    string(APPEND name .gz)
  endif()
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${destination}" TYPE FILE FILES "${scratch}/${name}")
endforeach()
file(REMOVE_RECURSE "${scratch}")
