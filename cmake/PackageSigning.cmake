# The certificate that signs the Windows 11 package Quelvar.msix: the one cmake/Signing.cmake chose for
# everything the build ships (a release certificate from the cache, or the build's throwaway one).

# qv_signing_certificate(<prefix>) sets, in the caller's scope:
#   <prefix>_ARGS       the osslsigncode arguments naming certificate and key (and the time stamp)
#   <prefix>_CERT_PEM   the certificate in PEM form (for verifying and reading its subject)
#   <prefix>_SUBJECT    its subject in the form Windows compares with a package's Publisher
#   <prefix>_THROWAWAY  TRUE when the certificate was made here
function(qv_signing_certificate prefix)
  find_program(QV_OPENSSL openssl REQUIRED)
  set(work "${QV_SIGN_FOLDER}")
  file(MAKE_DIRECTORY "${work}")
  set(throwaway FALSE)
  set(source "")
  set(passin -passin pass:)
  if(QV_SIGN_PASSWORD_FILE)
    set(passin -passin "file:${QV_SIGN_PASSWORD_FILE}")
  endif()
  if(QV_SIGN_PKCS12)
    set(pem "${work}/release-certificate.pem")
    execute_process(COMMAND "${QV_OPENSSL}" pkcs12 -in "${QV_SIGN_PKCS12}" -nokeys -clcerts ${passin}
                            -out "${pem}" RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "QV_SIGN_PKCS12 ${QV_SIGN_PKCS12} cannot be read: ${error}")
    endif()
    set(args -pkcs12 "${QV_SIGN_PKCS12}")
    set(source "${QV_SIGN_PKCS12}")
  elseif(QV_SIGN_CERT AND QV_SIGN_KEY)
    set(pem "${QV_SIGN_CERT}")
    set(args -certs "${QV_SIGN_CERT}" -key "${QV_SIGN_KEY}")
  else()
    set(throwaway TRUE)
    set(pem "${QV_SIGN_TEST_CERT}")
    set(args -certs "${QV_SIGN_TEST_CERT}" -key "${QV_SIGN_FOLDER}/throwaway-key.pem")
  endif()
  if(NOT source)
    set(source "${pem}")
  endif()
  if(QV_SIGN_PASSWORD_FILE AND NOT throwaway)
    list(APPEND args -readpass "${QV_SIGN_PASSWORD_FILE}")
  endif()
  if(QV_SIGN_TIMESTAMP_URL AND NOT throwaway)
    list(APPEND args -ts "${QV_SIGN_TIMESTAMP_URL}")
  endif()
  # The subject as Windows writes it for a package's Publisher, read from the certificate's own bytes
  # (OpenSSL's text forms differ from Windows' in keys, order of multi-valued names and quoting).
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  execute_process(COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../package/publisher.py" "${pem}"
                  OUTPUT_VARIABLE subject RESULT_VARIABLE failed ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "The signing certificate cannot sign the package: ${error}")
  endif()
  # A new certificate in the same file gives the package a new Publisher.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
  set(${prefix}_ARGS "${args}" PARENT_SCOPE)
  set(${prefix}_CERT_PEM "${pem}" PARENT_SCOPE)
  set(${prefix}_SUBJECT "${subject}" PARENT_SCOPE)
  set(${prefix}_THROWAWAY ${throwaway} PARENT_SCOPE)
endfunction()
