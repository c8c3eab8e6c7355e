# The reader configuration tool (Windows only): the program over the
# configuration controllers, the serial link and port, and the Win32 layer.
# Included from the top level; the program lands in <build>/setup.
enable_language(RC)

if(NOT TARGET tagsetup)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/setup)
endif()

set(_readersetup_dir ${CMAKE_CURRENT_LIST_DIR})
add_executable(readersetup WIN32
  ${_readersetup_dir}/main.cpp
  ${_readersetup_dir}/readersetup.rc
  ${PROJECT_SOURCE_DIR}/platform/win32/setupView.cpp
)
target_link_libraries(readersetup PRIVATE tagsetup tagserialport tagserial tagwin32)
# windres finds resource.h beside the script and the images below the
# project root (tagsetup's include directory).
set_target_properties(readersetup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/setup)
if(MINGW)
  target_link_options(readersetup PRIVATE -static)
endif()
# The resource compiler does not track the files the script names.
set(_readersetup_resources
  ${_readersetup_dir}/resource.h
  ${_readersetup_dir}/res/eye_open.bmp
  ${_readersetup_dir}/res/eye_closed.bmp
  ${PROJECT_SOURCE_DIR}/console/listen/res/tagdesk.ico
)
set_source_files_properties(${_readersetup_dir}/readersetup.rc PROPERTIES
  OBJECT_DEPENDS "${_readersetup_resources}")
unset(_readersetup_resources)
unset(_readersetup_dir)
