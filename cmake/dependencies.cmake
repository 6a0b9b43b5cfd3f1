# GoogleTest from Debian's sources (/usr/src/googletest), built with the same compiler and flags
# as our own code: natively and for mingw alike.
set(TOVREN_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
if(TOVREN_SANITIZE AND NOT WIN32)
  # gtest's own code must carry the same sanitizer instrumentation as the tests.
  add_compile_options(-fsanitize=${TOVREN_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${TOVREN_SANITIZE})
endif()
add_subdirectory(${TOVREN_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)

# Puts FILES of FOLDER of Debian's source package PACKAGE into DIR (never committed), unless the
# first of them is there already.
function(tovren_debian_source package folder dir)
  list(GET ARGN 0 first)
  if(NOT EXISTS ${dir}/${first})
    execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/fetch-debian-source ${package} ${folder} ${dir} ${ARGN}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${package}'s sources are missing; scripts/fetch-debian-source ${package} failed")
    endif()
  endif()
endfunction()

# zlib and minizip. zlib from Debian's packages (zlib1g-dev natively, libz-mingw-w64-dev for
# Windows). minizip's unzip.c and ioapi.c are compiled here from Debian's zlib source package,
# fetched by scripts/fetch-debian-source into the build folder (never committed), for every target:
# one extractor from one source, so the native tools read ZIP64 exactly as the client does
# (Debian's own libminizip 1.1 compares the ZIP64 markers against (unsigned long)-1, which is
# 2^64-1 on 64-bit Linux, and never takes a ZIP64 size). The fuzz build sees minizip's branches
# as well as ours.
if(WIN32)
  # libz.a, never the import library libz.dll.a: Windows has no zlib1.dll (Wine has).
  set(ZLIB_USE_STATIC_LIBS ON)
  # A build folder configured before this chose the import library; find it again.
  foreach(_var ZLIB_LIBRARY ZLIB_LIBRARY_RELEASE ZLIB_LIBRARY_DEBUG)
    if("${${_var}}" MATCHES "\\.dll\\.a$")
      unset(${_var} CACHE)
    endif()
  endforeach()
endif()
find_package(ZLIB REQUIRED)
set(TOVREN_MINIZIP_SOURCE_DIR ${CMAKE_SOURCE_DIR}/build/_deps/minizip CACHE PATH "minizip sources")
tovren_debian_source(zlib contrib/minizip ${TOVREN_MINIZIP_SOURCE_DIR} unzip.c unzip.h ioapi.c ioapi.h crypt.h)
add_library(minizip STATIC ${TOVREN_MINIZIP_SOURCE_DIR}/unzip.c ${TOVREN_MINIZIP_SOURCE_DIR}/ioapi.c)
target_include_directories(minizip SYSTEM PUBLIC ${TOVREN_MINIZIP_SOURCE_DIR})
target_compile_definitions(minizip PUBLIC NOCRYPT NOUNCRYPT)
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
add_library(tovren::minizip ALIAS minizip)

# pugixml reads the XML parts of Office documents. Both builds compile it from Debian's pugixml
# source package, fetched by scripts/fetch-debian-source into the build folder (never committed).
set(TOVREN_PUGIXML_SOURCE_DIR ${CMAKE_SOURCE_DIR}/build/_deps/pugixml CACHE PATH "pugixml sources")
tovren_debian_source(pugixml src ${TOVREN_PUGIXML_SOURCE_DIR} pugixml.cpp pugixml.hpp pugiconfig.hpp)
add_library(pugixml STATIC ${TOVREN_PUGIXML_SOURCE_DIR}/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${TOVREN_PUGIXML_SOURCE_DIR})
# No exceptions cross our code, and no XPath is used. No STL interface either: its stream
# loading and saving would link the whole iostream and locale machinery into the exe (~700 KB).
target_compile_definitions(pugixml PUBLIC PUGIXML_NO_EXCEPTIONS PUGIXML_NO_XPATH PUGIXML_NO_STL)
target_compile_options(pugixml PRIVATE -w)
add_library(tovren::pugixml ALIAS pugixml)
