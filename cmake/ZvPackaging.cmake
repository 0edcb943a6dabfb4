# What ships, and CPack's packing of it. Each tree installs only what its artifact holds:
#   win32:  Zorvane-addon-<version>-win32.zip for players: Zorvane.exe, Orlavex.dll and
#           README.txt at the archive's top, nothing else (the test host, the test
#           programs and the keys are never installed);
#   native: zvpack_<version>_<arch>.deb for publishers: /usr/bin/zvpack and zvpack(1),
#           depending on the OpenSSL library that dpkg-shlibdeps finds zvpack linked to.
# `cmake --build <tree> --target package` (or cpack in the tree) writes the artifact into
# the tree; scripts/release builds both with the publisher's keys.
#
# Binaries are stripped as they are packed: the artifacts carry no symbol tables.

if(ZV_WIN32)
  # The import library of Orlavex.dll is for nobody: the game loads the plug-in by name.
  install(TARGETS Zorvane Orlavex
    RUNTIME DESTINATION .
    ARCHIVE DESTINATION unshipped EXCLUDE_FROM_ALL)
  # The linker stamps the time of the link into the export table, which nothing reads:
  # without it the same sources give the same bytes, so a rebuilt release has the same
  # SHA256SUMS (the header's stamp already follows SOURCE_DATE_EPOCH, as scripts/release
  # sets it).
  target_link_options(Orlavex PRIVATE -Wl,--no-insert-timestamp)
  # Notepad on older Windows shows a text file's lines only with CR LF between them.
  configure_file(${CMAKE_SOURCE_DIR}/res/README.txt ${CMAKE_BINARY_DIR}/player/README.txt
    @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/player/README.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Zorvane-addon-${ZV_VERSION}-win32")
  # The files go straight into the game's folder: no folder of their own in the archive.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGE_NAME "Zorvane-addon")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zorvane launcher and updater, and the Orlavex client plug-in")
  # A tree configured without the publisher's keys embeds development keys: its zip is for
  # trying things out, and says so each time it is packed.
  if(NOT ZORVANE_SIGNATURE_KEY OR NOT ZORVANE_SEALING_KEY)
    set(warning_script ${CMAKE_BINARY_DIR}/player/DevelopmentKeysWarning.cmake)
    file(WRITE ${warning_script} "message(WARNING \"${CPACK_PACKAGE_FILE_NAME}.zip embeds the "
      "development keys of ${ZV_NATIVE_BUILD_DIR}: never ship it. scripts/release builds a "
      "release with the publisher's keys.\")\n")
    set(CPACK_PRE_BUILD_SCRIPTS ${warning_script})
  endif()
elseif(TARGET zvpack)
  install(TARGETS zvpack RUNTIME DESTINATION bin)

  # The man page, with the version filled in and gzip'd as Debian keeps man pages (-n: no
  # name or time stamp inside, so the same page gives the same bytes).
  set(man_dir ${CMAKE_BINARY_DIR}/man)
  configure_file(${CMAKE_SOURCE_DIR}/docs/zvpack.1.in ${man_dir}/zvpack.1 @ONLY)
  find_program(ZV_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${man_dir}/zvpack.1.gz
    COMMAND ${ZV_GZIP} -9 -n -k -f ${man_dir}/zvpack.1
    DEPENDS ${man_dir}/zvpack.1
    COMMENT "Compressing the man page zvpack(1)")
  add_custom_target(zv_manpage ALL DEPENDS ${man_dir}/zvpack.1.gz)
  install(FILES ${man_dir}/zvpack.1.gz DESTINATION share/man/man1)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME zvpack)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # zvpack_<version>_<architecture>.deb
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(ZV_PACKAGE_MAINTAINER "Ystrel" CACHE STRING "Maintainer field of the zvpack .deb")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZV_PACKAGE_MAINTAINER}")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "publisher's tool for Zorvane update packages")
  # The long description, under the summary line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "zvpack makes the RSA key pairs that the Zorvane launcher embeds, packs a
folder into a signed and sealed update package, and inspects a package with
the launcher's own reading code.")
else()
  return()
endif()

set(CPACK_PACKAGE_VENDOR "Ystrel")
set(CPACK_PACKAGE_VERSION "${ZV_VERSION}")
set(CPACK_STRIP_FILES ON)
# Only the binary artifacts: a source package of a checkout would sweep up build trees.
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_OUTPUT_CONFIG_FILE "${CMAKE_BINARY_DIR}/CPackConfig.cmake")
include(CPack)
