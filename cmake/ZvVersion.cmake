# The project's one version number, from project(... VERSION A.B.C.D), for everything
# that shows it: Zorvane.exe's version block, zvpack --version and the release artifacts'
# names.
#
# Results for the rest of the build:
#   ZV_VERSION   the four-part version text, e.g. 2.0.0.0
#   zv_version   interface library whose include folder holds ZvVersion.h:
#                  ZV_VERSION_MAJOR .. ZV_VERSION_TWEAK  the four parts as numbers
#                  ZV_VERSION_TEXT                      the version as a string literal

# A Windows version block holds each part in 16 bits, and the version must have all four
# so that every artifact shows the same text.
foreach(part MAJOR MINOR PATCH TWEAK)
  set(value "${PROJECT_VERSION_${part}}")
  if(NOT value MATCHES "^[0-9]+$" OR value GREATER 65535)
    message(FATAL_ERROR "The project's version '${PROJECT_VERSION}' must have four parts of "
      "0 to 65535 each (A.B.C.D): part ${part} is '${value}'")
  endif()
endforeach()
set(ZV_VERSION "${PROJECT_VERSION}")

set(ZV_VERSION_DIR "${CMAKE_BINARY_DIR}/version")
file(MAKE_DIRECTORY "${ZV_VERSION_DIR}")
file(WRITE "${ZV_VERSION_DIR}/ZvVersion.h.new" "\
// Made by cmake/ZvVersion.cmake from the project's version.
#pragma once
#define ZV_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}
#define ZV_VERSION_MINOR ${PROJECT_VERSION_MINOR}
#define ZV_VERSION_PATCH ${PROJECT_VERSION_PATCH}
#define ZV_VERSION_TWEAK ${PROJECT_VERSION_TWEAK}
#define ZV_VERSION_TEXT \"${ZV_VERSION}\"
")
# Rewritten only when the version changes, so a reconfigure rebuilds nothing.
configure_file("${ZV_VERSION_DIR}/ZvVersion.h.new" "${ZV_VERSION_DIR}/ZvVersion.h" COPYONLY)

add_library(zv_version INTERFACE)
target_include_directories(zv_version INTERFACE "${ZV_VERSION_DIR}")
