# Test certificates for the substitute service, made once per build folder at configure time:
#   ca.pem / ca.key             a test certificate authority
#   server.pem / server.key     the service's certificate for 127.0.0.1 and localhost, issued by it
#   untrusted.pem / untrusted.key  a self-signed certificate for the same names, which no client
#                               trusts (for the refused-certificate tests)

function(exhibition_service_certificates folder)
  find_program(EXHIBITION_SERVICE_OPENSSL openssl REQUIRED)
  set(openssl ${EXHIBITION_SERVICE_OPENSSL})
  file(MAKE_DIRECTORY ${folder})
  set(names "subjectAltName=IP:127.0.0.1,DNS:localhost")

  macro(run_openssl)
    execute_process(COMMAND ${openssl} ${ARGN}
                    WORKING_DIRECTORY ${folder}
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "openssl ${ARGN} failed: ${output}")
    endif()
  endmacro()

  if(NOT EXISTS ${folder}/ca.pem OR NOT EXISTS ${folder}/ca.key)
    run_openssl(req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes
                -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Dravik Test CA"
                -addext "basicConstraints=critical,CA:TRUE"
                -addext "keyUsage=critical,keyCertSign,cRLSign")
    file(REMOVE ${folder}/server.pem)
  endif()

  if(NOT EXISTS ${folder}/server.pem OR NOT EXISTS ${folder}/server.key)
    file(WRITE ${folder}/server.ext
         "basicConstraints=CA:FALSE\n"
         "keyUsage=critical,digitalSignature,keyEncipherment\n"
         "extendedKeyUsage=serverAuth\n"
         "${names}\n")
    run_openssl(req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes
                -keyout server.key -out server.csr -subj "/CN=127.0.0.1")
    run_openssl(x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial
                -CAserial ca.srl -out server.pem -days 3650 -extfile server.ext)
    file(REMOVE ${folder}/server.csr ${folder}/server.ext)
  endif()

  if(NOT EXISTS ${folder}/untrusted.pem OR NOT EXISTS ${folder}/untrusted.key)
    run_openssl(req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes
                -keyout untrusted.key -out untrusted.pem -days 3650 -subj "/CN=127.0.0.1"
                -addext "${names}")
  endif()
endfunction()
