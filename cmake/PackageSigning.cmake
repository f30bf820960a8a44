# The certificate that signs what the build ships (today the Windows 11 package Quelvar.msix).
#
# A release certificate comes from the cache: QUELVAR_SIGN_PKCS12 (a .pfx without a password), or
# QUELVAR_SIGN_CERT with QUELVAR_SIGN_KEY (PEM files); QUELVAR_SIGN_TIMESTAMP_URL adds an RFC 3161
# time stamp. Without one, the build makes a throwaway self-signed certificate under build/ and says
# so: good for tests, trusted by no machine.
set(QUELVAR_SIGN_PKCS12 "" CACHE FILEPATH "Release signing certificate and key (.pfx without password)")
set(QUELVAR_SIGN_CERT "" CACHE FILEPATH "Release signing certificate (PEM), used with QUELVAR_SIGN_KEY")
set(QUELVAR_SIGN_KEY "" CACHE FILEPATH "Private key of QUELVAR_SIGN_CERT (PEM)")
set(QUELVAR_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping server for release signatures")

# qv_signing_certificate(<prefix>) sets, in the caller's scope:
#   <prefix>_ARGS       the osslsigncode arguments naming certificate and key (and the time stamp)
#   <prefix>_CERT_PEM   the certificate in PEM form (for verifying and reading its subject)
#   <prefix>_SUBJECT    its subject in the form Windows compares with a package's Publisher
#   <prefix>_THROWAWAY  TRUE when the certificate was made here
function(qv_signing_certificate prefix)
  find_program(QV_OPENSSL openssl REQUIRED)
  set(work "${CMAKE_BINARY_DIR}/signing")
  file(MAKE_DIRECTORY "${work}")
  set(throwaway FALSE)
  if(QUELVAR_SIGN_PKCS12)
    set(pem "${work}/release-certificate.pem")
    execute_process(COMMAND "${QV_OPENSSL}" pkcs12 -in "${QUELVAR_SIGN_PKCS12}" -nokeys -clcerts -passin pass:
                            -out "${pem}" RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "QUELVAR_SIGN_PKCS12 ${QUELVAR_SIGN_PKCS12} cannot be read: ${error}")
    endif()
    set(args -pkcs12 "${QUELVAR_SIGN_PKCS12}" -pass "")
  elseif(QUELVAR_SIGN_CERT AND QUELVAR_SIGN_KEY)
    set(pem "${QUELVAR_SIGN_CERT}")
    set(args -certs "${QUELVAR_SIGN_CERT}" -key "${QUELVAR_SIGN_KEY}")
  else()
    set(throwaway TRUE)
    set(pem "${work}/throwaway-certificate.pem")
    set(key "${work}/throwaway-key.pem")
    if(NOT EXISTS "${pem}" OR NOT EXISTS "${key}")
      execute_process(
        COMMAND "${QV_OPENSSL}" req -x509 -newkey rsa:2048 -nodes -days 3650 -keyout "${key}" -out "${pem}"
                -subj "/CN=Quelvar Throwaway Test Certificate" -addext "extendedKeyUsage=codeSigning"
                -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature"
        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE error)
      if(failed)
        message(FATAL_ERROR "openssl could not make the throwaway signing certificate: ${error}")
      endif()
    endif()
    set(args -certs "${pem}" -key "${key}")
    message(STATUS "No release certificate (QUELVAR_SIGN_PKCS12, or QUELVAR_SIGN_CERT with QUELVAR_SIGN_KEY): "
                   "signing with the throwaway self-signed certificate ${pem}, for tests only")
  endif()
  if(QUELVAR_SIGN_TIMESTAMP_URL AND NOT throwaway)
    list(APPEND args -ts "${QUELVAR_SIGN_TIMESTAMP_URL}")
  endif()
  # Windows writes a distinguished name most specific part first, parts separated by ", ".
  execute_process(COMMAND "${QV_OPENSSL}" x509 -in "${pem}" -noout -subject -nameopt RFC2253
                  OUTPUT_VARIABLE subject OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "openssl cannot read the signing certificate ${pem}")
  endif()
  string(REGEX REPLACE "^subject=" "" subject "${subject}")
  string(REGEX REPLACE "([^\\\\]),([A-Za-z.0-9]+=)" "\\1, \\2" subject "${subject}")
  set(${prefix}_ARGS "${args}" PARENT_SCOPE)
  set(${prefix}_CERT_PEM "${pem}" PARENT_SCOPE)
  set(${prefix}_SUBJECT "${subject}" PARENT_SCOPE)
  set(${prefix}_THROWAWAY ${throwaway} PARENT_SCOPE)
endfunction()
