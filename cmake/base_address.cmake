# The compiled-in addresses must be plain "http://host" or "http://host:port": the client
# appends "/Kavrel/..." and "/passport/login" itself and fetches over http only, so a path or a
# trailing "/" would double the slash and an https base would leave the client with nothing.
# Usable from a project and from a script (cmake -P).

# Sets `out` to the reason `value` is no plain http base address, or to "" when it is one.
function(tovren_base_address_problem value out)
  set(problem "")
  string(TOLOWER "${value}" lower)
  if(value STREQUAL "")
    set(problem "it is empty")
  elseif(lower MATCHES "^https://")
    set(problem "https is not fetched by the client; use http://")
  elseif(NOT lower MATCHES "^http://")
    set(problem "it does not start with http://")
  elseif(value MATCHES "^[A-Za-z]+://[^/]*/$")
    set(problem "it ends in \"/\"; leave the trailing \"/\" out")
  elseif(value MATCHES "^[A-Za-z]+://[^/]*/")
    set(problem "it has a path; give the server's address alone")
  elseif(value MATCHES "[?#@ \t\"\\\\]")
    set(problem "it holds a character no host name has (? # @ blank quote backslash)")
  elseif(NOT value MATCHES "^[A-Za-z]+://([A-Za-z0-9._-]+)(:([0-9]+))?$")
    set(problem "the host must be a name or an IPv4 address, with an optional :port")
  elseif(CMAKE_MATCH_2)
    string(LENGTH "${CMAKE_MATCH_3}" digits)
    if(digits GREATER 5 OR CMAKE_MATCH_3 LESS 1 OR CMAKE_MATCH_3 GREATER 65535)
      set(problem "the port must be a number from 1 to 65535")
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()

# Stops the configure step with a clear message when the variable `name` holds no plain base.
function(tovren_check_base_address name)
  tovren_base_address_problem("${${name}}" problem)
  if(problem)
    message(FATAL_ERROR "${name} is \"${${name}}\": ${problem}.\n"
      "It must be a plain http address with no path and no trailing \"/\", "
      "such as http://exam.example.org or http://192.168.1.10:8080.")
  endif()
endfunction()
