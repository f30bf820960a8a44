# Authenticode signing (SHA-256, osslsigncode) of everything the build ships: Quelvar.dll, qvsum.exe, the
# installer, its uninstaller, the MSI and the package Quelvar.msix. A release names its certificate in the cache:
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
find_program(QV_OPENSSL openssl REQUIRED)
set(QV_SIGN_FOLDER "${CMAKE_BINARY_DIR}/signing")
file(MAKE_DIRECTORY "${QV_SIGN_FOLDER}")

# qv_choose_signing_certificate(): the one place that decides which certificate signs what the build ships.
# Sets, in the caller's scope:
#   QV_SIGN_ARGS       the osslsigncode arguments naming certificate and key (and password file, time stamp)
#   QV_SIGN_CERT_PEM   the certificate in PEM form (to verify signatures and read its subject)
#   QV_SIGN_THROWAWAY  ON when the certificate is the build's own self-signed one
function(qv_choose_signing_certificate)
  set(source "")
  if(QV_SIGN_PKCS12)
    set(throwaway OFF)
    set(pem "${QV_SIGN_FOLDER}/release-certificate.pem")
    set(passin -passin pass:)
    if(QV_SIGN_PASSWORD_FILE)
      set(passin -passin "file:${QV_SIGN_PASSWORD_FILE}")
    endif()
    execute_process(COMMAND "${QV_OPENSSL}" pkcs12 -in "${QV_SIGN_PKCS12}" -nokeys -clcerts ${passin}
                            -out "${pem}" RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "QV_SIGN_PKCS12 ${QV_SIGN_PKCS12} cannot be read: ${error}")
    endif()
    set(args -pkcs12 "${QV_SIGN_PKCS12}")
    set(source "${QV_SIGN_PKCS12}")
  elseif(QV_SIGN_KEY AND QV_SIGN_CERT)
    set(throwaway OFF)
    set(pem "${QV_SIGN_CERT}")
    set(args -certs "${QV_SIGN_CERT}" -key "${QV_SIGN_KEY}")
  else()
    # Self-signed, for code signing, made once per build folder: the tests verify against it.
    set(throwaway ON)
    set(pem "${QV_SIGN_FOLDER}/throwaway-cert.pem")
    set(key "${QV_SIGN_FOLDER}/throwaway-key.pem")
    if(NOT EXISTS "${pem}" OR NOT EXISTS "${key}")
      execute_process(
        COMMAND "${QV_OPENSSL}" req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650
                -subj "/CN=Quelvar throwaway test signing/O=Quelvar build" -keyout "${key}" -out "${pem}"
                -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning"
                -addext "basicConstraints=critical,CA:FALSE"
        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
      if(failed)
        message(FATAL_ERROR "openssl could not make the throwaway signing certificate")
      endif()
    endif()
    set(args -certs "${pem}" -key "${key}")
    message(STATUS "Signing: no certificate configured (QV_SIGN_PKCS12 or QV_SIGN_KEY/QV_SIGN_CERT); signing with "
                   "a throwaway self-signed certificate for the tests: ${pem}")
  endif()
  # The throwaway key has no password, and a time stamp would vouch for nothing.
  if(NOT throwaway)
    if(QV_SIGN_PASSWORD_FILE)
      list(APPEND args -readpass "${QV_SIGN_PASSWORD_FILE}")
    endif()
    if(QV_SIGN_TIMESTAMP_URL)
      list(APPEND args -ts "${QV_SIGN_TIMESTAMP_URL}")
    endif()
  endif()
  if(NOT source)
    set(source "${pem}")
  endif()
  # A new certificate in the same file gives the package a new Publisher.
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
  set(QV_SIGN_ARGS "${args}" PARENT_SCOPE)
  set(QV_SIGN_CERT_PEM "${pem}" PARENT_SCOPE)
  set(QV_SIGN_THROWAWAY ${throwaway} PARENT_SCOPE)
endfunction()
qv_choose_signing_certificate()

# One command that signs the files named after it, for CMake and for makensis alike: scripts/sign.sh with the
# chosen certificate, read from a file that holds osslsigncode's arguments one a line.
set(QV_SIGN_COMMAND "${QV_SIGN_FOLDER}/sign-file.sh")
set(qv_signer "${QV_SIGN_FOLDER}/signer")
set(qv_signer_lines "${QV_SIGN_ARGS}")
if(QV_SIGN_THROWAWAY)
  list(PREPEND qv_signer_lines "#throwaway")
endif()
list(JOIN qv_signer_lines "\n" qv_signer_lines)
file(WRITE "${qv_signer}" "${qv_signer_lines}\n")
file(WRITE "${QV_SIGN_COMMAND}"
  "#!/bin/sh\nexec bash \"${CMAKE_SOURCE_DIR}/scripts/sign.sh\" --signer \"${qv_signer}\" --description Quelvar \"$@\"\n")
file(CHMOD "${QV_SIGN_COMMAND}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)

# qv_ship_target(<target>): each time the target is linked, makes its output what the build ships: the debug
# information moves to <file>.debug beside it (for support: a debugger finds it through the link the file
# keeps), the symbols go, and then the file is signed, last, since any later change would break the signature.
find_program(QV_OBJCOPY ${QV_MINGW_PREFIX}-objcopy REQUIRED)
function(qv_ship_target target)
  set(file "$<TARGET_FILE:${target}>")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${QV_OBJCOPY}" --only-keep-debug "${file}" "${file}.debug"
    COMMAND "${QV_OBJCOPY}" --strip-all "--add-gnu-debuglink=${file}.debug" "${file}"
    COMMAND sh "${QV_SIGN_COMMAND}" "${file}"
    VERBATIM)
endfunction()
