# The configure step's check of the compiled-in addresses: a table of values and what it says,
# then one real configure of the project with a bad value, which must stop with the message.
#   cmake -DSOURCE_DIR=... -DSCRATCH_DIR=... [-DTOOLCHAIN=...] -P base_address_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/base_address.cmake)

set(failures 0)
# value | the reason's start, or OK | why
set(cases
  "http://127.0.0.1:8731|OK|the demo server"
  "http://exam.example.org|OK|a name, port 80"
  "HTTP://exam-1.school_lan:8080|OK|the scheme in any case, as the client reads it"
  "http://h:65535|OK|the largest port"
  "https://exam.example.org|https is not fetched|https makes the client give up at start"
  "http://exam.example.org/|it ends in \"/\"|a trailing slash doubles every request's slash"
  "http://exam.example.org/school|it has a path|a path would be asked for before /Kavrel"
  "http://h:8080/|it ends in \"/\"|a trailing slash after a port"
  "exam.example.org|it does not start with http://|no scheme"
  "ftp://exam.example.org|it does not start with http://|another scheme"
  "|it is empty|nothing at all"
  "http://|the host must be|no host"
  "http://h:|the host must be|a colon without a port"
  "http://h:0|the port must be|port 0"
  "http://h:65536|the port must be|a port above 65535"
  "http://h:123456|the port must be|six digits"
  "http://[::1]:80|the host must be|IPv6 literals are not read by the download service"
  "http://user@h|it holds a character|credentials"
  "http://h?x=1|it holds a character|a query"
  "http://h h|it holds a character|a blank"
)
foreach(row IN LISTS cases)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 value)
  list(GET fields 1 expected)
  list(GET fields 2 why)
  tovren_base_address_problem("${value}" problem)
  if(expected STREQUAL "OK")
    if(NOT problem STREQUAL "")
      message(SEND_ERROR "'${value}' (${why}): refused: ${problem}")
      math(EXPR failures "${failures} + 1")
    endif()
  else()
    string(FIND "${problem}" "${expected}" at)
    if(NOT at EQUAL 0)
      message(SEND_ERROR "'${value}' (${why}): expected '${expected}...', got '${problem}'")
      math(EXPR failures "${failures} + 1")
    endif()
  endif()
endforeach()

# A real configure with a bad value stops before anything is built, naming the variable.
file(REMOVE_RECURSE "${SCRATCH_DIR}")
set(toolchain_arg "")
if(TOOLCHAIN)
  set(toolchain_arg "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()
foreach(variable TOVREN_SERVER_BASE TOVREN_TESTING_SITE_BASE)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${SCRATCH_DIR}/${variable} -G Ninja ${toolchain_arg}
            -D${variable}=https://exam.example.org/
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # CMake wraps long messages: compare with every run of blanks and line breaks as one blank.
  string(REGEX REPLACE "[ \n]+" " " err "${err}")
  if(result EQUAL 0)
    message(SEND_ERROR "configure with ${variable}=https://exam.example.org/ succeeded")
    math(EXPR failures "${failures} + 1")
  elseif(NOT err MATCHES "${variable} is \"https://exam.example.org/\": https is not fetched")
    message(SEND_ERROR "configure with a bad ${variable} failed without the message:\n${err}")
    math(EXPR failures "${failures} + 1")
  endif()
  if(EXISTS "${SCRATCH_DIR}/${variable}/build.ninja")
    message(SEND_ERROR "the stopped configure wrote a build file")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
file(REMOVE_RECURSE "${SCRATCH_DIR}")

list(LENGTH cases rows)
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} failures")
endif()
message(STATUS "${rows} addresses and 2 configure runs checked")
