# The signal filter tool (Windows only): the program over its controller,
# the serial link and port, and the Win32 layer. Included from the top
# level; the program lands in <build>/rssifilter.
enable_language(RC)

if(NOT TARGET tagrssifilter)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/rssifilter)
endif()

set(_rssifilter_dir ${CMAKE_CURRENT_LIST_DIR})
add_executable(rssifilter WIN32
  ${_rssifilter_dir}/main.cpp
  ${_rssifilter_dir}/rssifilter.rc
)
target_link_libraries(rssifilter PRIVATE tagrssifilter tagserialport tagserial tagserialwin32)
set_target_properties(rssifilter PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/rssifilter)
if(MINGW)
  target_link_options(rssifilter PRIVATE -static)
endif()
# The resource compiler does not track the files the script names.
set(_rssifilter_resources
  ${_rssifilter_dir}/resource.h
  ${_rssifilter_dir}/res/rssifilter.ico
)
set_source_files_properties(${_rssifilter_dir}/rssifilter.rc PROPERTIES
  OBJECT_DEPENDS "${_rssifilter_resources}")
unset(_rssifilter_resources)
unset(_rssifilter_dir)
tagdesk_program_info(rssifilter "RSSI阈值设置工具" rssifilter.exe)
