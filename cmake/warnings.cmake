# Our own targets link this: warnings as errors on both builds, sanitizers on the native one.
add_library(tovren_options INTERFACE)
target_compile_options(tovren_options INTERFACE -Wall -Wextra -Werror)
if(WIN32)
  # Wide-character Windows API everywhere; Windows 7 is the oldest system we run on.
  target_compile_definitions(tovren_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                      _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
if(TOVREN_SANITIZE AND NOT WIN32)
  set(_san -fsanitize=${TOVREN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_compile_options(tovren_options INTERFACE ${_san})
  target_link_options(tovren_options INTERFACE ${_san})
endif()
