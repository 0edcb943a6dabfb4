# The launcher's two RSA public keys, embedded at build time.
#
# Convention:
#   ZORVANE_SIGNATURE_KEY, ZORVANE_SEALING_KEY (cache, PEM file paths): the keys to embed.
#     Each may be a private key (as `openssl genrsa` writes it, PKCS#8 or PKCS#1) or a
#     public key (SubjectPublicKeyInfo as `openssl rsa -pubout` writes it, or PKCS#1
#     "RSA PUBLIC KEY"). Only the public half is embedded.
#   When one is unset:
#     native trees (native, sanitize, fuzz) make a development key of that kind once, at
#       ${CMAKE_BINARY_DIR}/keys/signature.pem or sealing.pem (mode 0600, never in the
#       source tree), and warn;
#     the win32 tree uses the native tree's development keys from
#       ${ZV_NATIVE_BUILD_DIR}/keys/ (ZV_NATIVE_BUILD_DIR defaults to build/native) and
#       stops when they are missing: the native tree must be configured first, so that
#       both trees embed the same keys and the win32 launcher accepts what the native
#       zvpack makes.
#   Each key must be 2048 bits with its top bit set and have the exponent 65537.
#
# Results for the rest of the build:
#   zv_keys                 library defining SignatureKey and SealingKey (updater/Keys.h)
#   ZV_SIGNATURE_KEY_FILE   the PEM file used for each kind of key
#   ZV_SEALING_KEY_FILE
#   ZV_KEYS_PRIVATE         ON when both files are private keys, so packages can be made
#   ZV_SIGNATURE_FINGERPRINT  each public key's fingerprint: SHA-256 of its DER
#   ZV_SEALING_FINGERPRINT    SubjectPublicKeyInfo, 64 lower-case hex digits (what
#                             `openssl pkey -pubout -outform DER | sha256sum` prints and
#                             `zvpack inspect` shows); also written, one "KIND HEX FILE" line
#                             each, to ${CMAKE_BINARY_DIR}/keys/fingerprints.txt
#   ZV_ZVPACK               (win32 tree, cache) the native zvpack, default
#                           ${ZV_NATIVE_BUILD_DIR}/tools/zvpack/zvpack; in native trees
#                           use the zvpack target itself.

set(ZORVANE_SIGNATURE_KEY "" CACHE FILEPATH "PEM file of the package signature key (private or public)")
set(ZORVANE_SEALING_KEY "" CACHE FILEPATH "PEM file of the package sealing key (private or public)")

if(ZV_WIN32)
  set(ZV_NATIVE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/native" CACHE PATH
    "Native build tree whose development keys and zvpack the win32 tree uses")
  set(ZV_ZVPACK "${ZV_NATIVE_BUILD_DIR}/tools/zvpack/zvpack" CACHE FILEPATH
    "The native zvpack, for tests that need real packages")
endif()

find_program(ZV_OPENSSL openssl REQUIRED)

# zv_key_file(KIND OUT_VAR): the PEM file of one kind of key, made when needed.
function(zv_key_file kind variable out)
  set(file "${${variable}}")
  if(file)
    get_filename_component(file "${file}" ABSOLUTE)
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "${variable}: key file '${file}' does not exist")
    endif()
  elseif(ZV_WIN32)
    set(file "${ZV_NATIVE_BUILD_DIR}/keys/${kind}.pem")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "${variable} is not set and the native tree's development key "
        "'${file}' is missing: configure/build the native tree first "
        "(cmake --preset native), or set ZV_NATIVE_BUILD_DIR or ${variable}.")
    endif()
    message(STATUS "Using the native tree's development ${kind} key ${file}")
  else()
    set(file "${CMAKE_BINARY_DIR}/keys/${kind}.pem")
    if(NOT EXISTS "${file}")
      file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/keys")
      execute_process(COMMAND ${ZV_OPENSSL} genrsa -out "${file}.tmp" 2048
        RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "Could not make a development ${kind} key: ${err}")
      endif()
      file(CHMOD "${file}.tmp" PERMISSIONS OWNER_READ OWNER_WRITE)
      file(RENAME "${file}.tmp" "${file}")
    endif()
    message(WARNING "${variable} is not set: using the development ${kind} key ${file}. "
      "Packages made with it are accepted only by launchers built with it.")
  endif()
  set(${out} "${file}" PARENT_SCOPE)
endfunction()

# zv_key_limbs(FILE OUT_LIMBS OUT_PRIVATE): the modulus as 64 C limbs, least significant
# first, after checking size, top bit and exponent.
function(zv_key_limbs file out_limbs out_private)
  set(private ON)
  set(forms "" "-pubin" "-RSAPublicKey_in")
  foreach(form IN LISTS forms)
    execute_process(COMMAND ${ZV_OPENSSL} rsa ${form} -in "${file}" -passin pass: -noout -modulus -text
      RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET)
    if(rc EQUAL 0)
      break()
    endif()
    set(private OFF)
  endforeach()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Key file '${file}' is not an RSA key in PEM form "
      "(PKCS#1, unencrypted PKCS#8 or SubjectPublicKeyInfo)")
  endif()
  if(NOT text MATCHES "Modulus=([0-9A-F]+)")
    message(FATAL_ERROR "Key file '${file}': openssl printed no modulus")
  endif()
  set(hex "${CMAKE_MATCH_1}")
  string(LENGTH "${hex}" digits)
  string(SUBSTRING "${hex}" 0 1 top)
  if(NOT digits EQUAL 512 OR NOT top MATCHES "[89A-F]")
    message(FATAL_ERROR "Key file '${file}': the modulus must be 2048 bits with its top bit "
      "set (it has ${digits} hex digits, starting with ${top})")
  endif()
  if(NOT text MATCHES "[Ee]xponent: ([0-9]+)")
    message(FATAL_ERROR "Key file '${file}': openssl printed no public exponent")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL "65537")
    message(FATAL_ERROR "Key file '${file}': the public exponent must be 65537, not ${CMAKE_MATCH_1}")
  endif()
  set(limbs "")
  foreach(i RANGE 63)
    math(EXPR at "(63 - ${i}) * 8")
    string(SUBSTRING "${hex}" ${at} 8 limb)
    string(APPEND limbs "    0x${limb}u,\n")
  endforeach()
  set(${out_limbs} "${limbs}" PARENT_SCOPE)
  set(${out_private} ${private} PARENT_SCOPE)
endfunction()

# zv_key_fingerprint(FILE OUT): SHA-256 of the key's public half as DER SubjectPublicKeyInfo,
# the same bytes whichever PEM form the file holds.
function(zv_key_fingerprint file out)
  set(der "${CMAKE_BINARY_DIR}/keys/fingerprint.der")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/keys")
  set(forms "" "-pubin" "-RSAPublicKey_in")
  foreach(form IN LISTS forms)
    execute_process(COMMAND ${ZV_OPENSSL} rsa ${form} -in "${file}" -passin pass: -pubout
      -outform DER -out "${der}" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(rc EQUAL 0)
      break()
    endif()
  endforeach()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Key file '${file}': openssl could not write its public key")
  endif()
  file(SHA256 "${der}" hash)
  file(REMOVE "${der}")
  set(${out} "${hash}" PARENT_SCOPE)
endfunction()

zv_key_file(signature ZORVANE_SIGNATURE_KEY ZV_SIGNATURE_KEY_FILE)
zv_key_file(sealing ZORVANE_SEALING_KEY ZV_SEALING_KEY_FILE)
zv_key_limbs("${ZV_SIGNATURE_KEY_FILE}" ZV_SIGNATURE_LIMBS ZV_SIGNATURE_PRIVATE)
zv_key_limbs("${ZV_SEALING_KEY_FILE}" ZV_SEALING_LIMBS ZV_SEALING_PRIVATE)
if(ZV_SIGNATURE_PRIVATE AND ZV_SEALING_PRIVATE)
  set(ZV_KEYS_PRIVATE ON)
else()
  set(ZV_KEYS_PRIVATE OFF)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${ZV_SIGNATURE_KEY_FILE}" "${ZV_SEALING_KEY_FILE}")

zv_key_fingerprint("${ZV_SIGNATURE_KEY_FILE}" ZV_SIGNATURE_FINGERPRINT)
zv_key_fingerprint("${ZV_SEALING_KEY_FILE}" ZV_SEALING_FINGERPRINT)
file(WRITE "${CMAKE_BINARY_DIR}/keys/fingerprints.txt"
  "signature ${ZV_SIGNATURE_FINGERPRINT} ${ZV_SIGNATURE_KEY_FILE}\n"
  "sealing ${ZV_SEALING_FINGERPRINT} ${ZV_SEALING_KEY_FILE}\n")
message(STATUS "Embedded keys, SHA-256 of each public key: "
  "signature ${ZV_SIGNATURE_FINGERPRINT}, sealing ${ZV_SEALING_FINGERPRINT}")

set(ZV_KEYS_SOURCE "${CMAKE_BINARY_DIR}/keys/Keys.cpp")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/keys")
file(WRITE "${ZV_KEYS_SOURCE}.new" "\
// Made by cmake/ZvKeys.cmake from
//   ${ZV_SIGNATURE_KEY_FILE}
//   ${ZV_SEALING_KEY_FILE}
#include \"updater/Keys.h\"

// BigNum layout: the count, then the limbs, least significant first. The moduli carry
// one zero limb above their 64.
static const BigNum SignatureModulus[1 + 65] = {
    65u,
${ZV_SIGNATURE_LIMBS}    0u,
};
static const BigNum SealingModulus[1 + 65] = {
    65u,
${ZV_SEALING_LIMBS}    0u,
};
static const BigNum PublicExponent[1 + 1] = {1u, 65537u};

const PackageKey SignatureKey = {SignatureModulus, PublicExponent};
const PackageKey SealingKey = {SealingModulus, PublicExponent};
")
# Rewritten only when the keys change, so a reconfigure does not rebuild the launcher.
configure_file("${ZV_KEYS_SOURCE}.new" "${ZV_KEYS_SOURCE}" COPYONLY)

add_library(zv_keys STATIC "${ZV_KEYS_SOURCE}")
zv_target_defaults(zv_keys)
target_include_directories(zv_keys PUBLIC ${CMAKE_SOURCE_DIR})
