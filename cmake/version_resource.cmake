# The version information Explorer shows under Properties > Details (product name, version,
# description), from the project's version. The resource's form is Microsoft's "VERSIONINFO
# resource" page (learn.microsoft.com/windows/win32/menurc/versioninfo-resource).
#   tovren_version_resource(<out-var> <description> <file name>)
# sets <out-var> to a configured .rc file that a resource script #includes.
function(tovren_version_resource out_var description file_name)
  set(TOVREN_VERSION_DESCRIPTION "${description}")
  set(TOVREN_VERSION_FILE_NAME "${file_name}")
  set(TOVREN_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
  if(PROJECT_VERSION_PATCH)
    set(TOVREN_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  endif()
  string(REPLACE "," "." TOVREN_VERSION_DOTS "${TOVREN_VERSION_COMMAS}")
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${file_name}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/versioninfo.rc.in ${_out} @ONLY)
  set(${out_var} ${_out} PARENT_SCOPE)
endfunction()
