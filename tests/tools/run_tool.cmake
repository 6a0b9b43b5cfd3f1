# Runs tovren-tool once and checks its exit code and, byte for byte, its standard output.
#   cmake -DTOOL=... [-DEMULATOR=...] -DARGS="a|b" -DEXPECTED_EXIT=0 [-DEXPECTED_FILE=...]
#         [-DEXPECTED_STDERR_REGEX=...] -P run_tool.cmake
string(REPLACE "|" ";" ARGS "${ARGS}")
set(_out ${CMAKE_CURRENT_BINARY_DIR}/tool-output-${TEST_NAME}.bin)
execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGS}
                OUTPUT_FILE ${_out}
                ERROR_VARIABLE _err
                RESULT_VARIABLE _exit)
if(NOT "${_exit}" STREQUAL "${EXPECTED_EXIT}")
  message(FATAL_ERROR "exit code ${_exit}, expected ${EXPECTED_EXIT}\nstderr: ${_err}")
endif()
if(DEFINED EXPECTED_FILE)
  file(SHA256 ${_out} _got)
  file(SHA256 ${EXPECTED_FILE} _want)
  if(NOT _got STREQUAL _want)
    file(READ ${_out} _hex HEX)
    message(FATAL_ERROR "stdout differs from ${EXPECTED_FILE}; got (hex): ${_hex}")
  endif()
endif()
if(DEFINED EXPECTED_STDERR_REGEX AND NOT _err MATCHES "${EXPECTED_STDERR_REGEX}")
  message(FATAL_ERROR "stderr does not match ${EXPECTED_STDERR_REGEX}: ${_err}")
endif()
