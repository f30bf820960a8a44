# Authenticode signing (SHA-256, osslsigncode) of everything the build ships: Quelvar.dll, qvsum.exe, the
# installer, its uninstaller and the MSI. A release names its certificate in the cache:
#   -DQV_SIGN_PKCS12=<file.p12>            or   -DQV_SIGN_KEY=<key.pem> -DQV_SIGN_CERT=<cert.pem>
#   -DQV_SIGN_PASSWORD_FILE=<file>         the key's password, read from a file outside the repository
#   -DQV_SIGN_TIMESTAMP_URL=<RFC 3161 URL> optional
# Without one the build makes a throwaway self-signed certificate under <build>/signing/ for the tests, and
# says so.
set(QV_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file with the code-signing key and certificate")
set(QV_SIGN_KEY "" CACHE FILEPATH "Code-signing private key (PEM or DER), used with QV_SIGN_CERT")
set(QV_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM or DER, with its chain), used with QV_SIGN_KEY")
set(QV_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of the signing key (never commit it)")
set(QV_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signatures (optional)")

find_program(QV_OSSLSIGNCODE osslsigncode REQUIRED)
set(QV_SIGN_FOLDER "${CMAKE_BINARY_DIR}/signing")
set(qv_sign_args "")
if(QV_SIGN_PKCS12)
  set(qv_sign_args --pkcs12 "${QV_SIGN_PKCS12}")
  set(QV_SIGN_THROWAWAY OFF)
elseif(QV_SIGN_KEY AND QV_SIGN_CERT)
  set(qv_sign_args --key "${QV_SIGN_KEY}" --cert "${QV_SIGN_CERT}")
  set(QV_SIGN_THROWAWAY OFF)
else()
  set(QV_SIGN_THROWAWAY ON)
  # Certificate the tests verify against: self-signed, for code signing, made once per build folder.
  set(QV_SIGN_TEST_CERT "${QV_SIGN_FOLDER}/throwaway-cert.pem")
  set(qv_key "${QV_SIGN_FOLDER}/throwaway-key.pem")
  if(NOT EXISTS "${QV_SIGN_TEST_CERT}" OR NOT EXISTS "${qv_key}")
    find_program(QV_OPENSSL openssl REQUIRED)
    file(MAKE_DIRECTORY "${QV_SIGN_FOLDER}")
    execute_process(
      COMMAND "${QV_OPENSSL}" req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650
              -subj "/CN=Quelvar throwaway test signing/O=Quelvar build" -keyout "${qv_key}" -out "${QV_SIGN_TEST_CERT}"
              -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning"
              -addext "basicConstraints=critical,CA:FALSE"
      RESULT_VARIABLE qv_status OUTPUT_QUIET ERROR_QUIET)
    if(NOT qv_status EQUAL 0)
      message(FATAL_ERROR "openssl could not make the throwaway signing certificate")
    endif()
  endif()
  set(qv_sign_args --key "${qv_key}" --cert "${QV_SIGN_TEST_CERT}" --throwaway)
  message(STATUS "Signing: no certificate configured (QV_SIGN_PKCS12 or QV_SIGN_KEY/QV_SIGN_CERT); signing with "
                 "a throwaway self-signed certificate for the tests: ${QV_SIGN_TEST_CERT}")
endif()
if(QV_SIGN_PASSWORD_FILE)
  list(APPEND qv_sign_args --pass-file "${QV_SIGN_PASSWORD_FILE}")
endif()
if(QV_SIGN_TIMESTAMP_URL)
  list(APPEND qv_sign_args --timestamp "${QV_SIGN_TIMESTAMP_URL}")
endif()
# One command that signs the files named after it, for CMake and for makensis alike.
set(QV_SIGN_COMMAND "${QV_SIGN_FOLDER}/sign-file.sh")
list(JOIN qv_sign_args "\" \"" qv_sign_joined)
file(MAKE_DIRECTORY "${QV_SIGN_FOLDER}")
file(WRITE "${QV_SIGN_COMMAND}"
  "#!/bin/sh\nexec bash \"${CMAKE_SOURCE_DIR}/scripts/sign.sh\" \"${qv_sign_joined}\" --description Quelvar \"$@\"\n")
file(CHMOD "${QV_SIGN_COMMAND}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)

# Signs a target's output each time it is linked.
function(qv_sign_target target)
  add_custom_command(TARGET ${target} POST_BUILD COMMAND sh "${QV_SIGN_COMMAND}" "$<TARGET_FILE:${target}>" VERBATIM)
endfunction()
