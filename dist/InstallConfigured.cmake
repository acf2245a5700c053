# Install-time step of dist/CMakeLists.txt: fills in the installed paths of
# the man pages and the systemd unit and installs the results. The variables
# OMBRIX_* are set by the install(CODE) just before.
string(RANDOM LENGTH 12 scratch)
set(scratch "${OMBRIX_DIST_BINARY}/configured-${scratch}")
foreach(entry IN LISTS OMBRIX_CONFIGURED)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 destination)
  string(REGEX REPLACE "\\.in$" "" name "${source}")
  configure_file("${OMBRIX_DIST_SOURCE}/${source}" "${scratch}/${name}" @ONLY)
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${destination}" TYPE FILE FILES "${scratch}/${name}")
endforeach()
file(REMOVE_RECURSE "${scratch}")
