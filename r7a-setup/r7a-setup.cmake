# The legacy settings tool (Windows only): the program over the r7a-setup
# controller, the serial port and the Win32 layer. Included from the top
# level; the program lands in <build>/r7a-setup/r7a-setup.exe.
enable_language(RC)

if(NOT TARGET tagr7a)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/r7a-setup)
endif()

set(_r7a_setup_dir ${CMAKE_CURRENT_LIST_DIR})
# The resource compiler does not track the files the script names.
set_source_files_properties(${_r7a_setup_dir}/r7a-setup.rc PROPERTIES
  OBJECT_DEPENDS "${_r7a_setup_dir}/resource.h;${_r7a_setup_dir}/res/r7a-setup.ico")

add_executable(r7a-setup WIN32
  ${_r7a_setup_dir}/main.cpp
  ${_r7a_setup_dir}/r7a-setup.rc
)
# The port functions of serial/ only (tagr7a, tagserialport): no link, no
# configuration frame, no page of the configuration tool.
target_link_libraries(r7a-setup PRIVATE tagr7a tagserialport tagserialwin32)
# windres finds resource.h beside the script and the icon below the project
# root (tagr7a's include directory).
set_target_properties(r7a-setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/r7a-setup)
if(MINGW)
  target_link_options(r7a-setup PRIVATE -static)
endif()
tagdesk_program_info(r7a-setup "R7A设置工具" r7a-setup.exe)
