# The reader configuration tool (Windows only): the program over the
# configuration controllers, the serial link and port, and the Win32 layer,
# in its four builds from one source. READERSETUP_BUILD picks the build's
# pages in the code and its dialogs and title in the resource script.
# Included from the top level; the programs land in <build>/setup:
# readersetup.exe (V3.6), readersetup-v3.5.exe, -v3.3.exe and -v3.0.exe.
enable_language(RC)

if(NOT TARGET tagsetup)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/setup)
endif()

set(_readersetup_dir ${CMAKE_CURRENT_LIST_DIR})
# The resource compiler does not track the files the script names.
set(_readersetup_resources
  ${_readersetup_dir}/resource.h
  ${_readersetup_dir}/res/eye_open.bmp
  ${_readersetup_dir}/res/eye_closed.bmp
  ${_readersetup_dir}/res/readersetup.ico
)
set_source_files_properties(${_readersetup_dir}/readersetup.rc PROPERTIES
  OBJECT_DEPENDS "${_readersetup_resources}")

function(readersetup_build target build)
  add_executable(${target} WIN32
    ${_readersetup_dir}/main.cpp
    ${_readersetup_dir}/readersetup.rc
    ${PROJECT_SOURCE_DIR}/platform/win32/setupWindow.cpp
  )
  # Seen by the compiler and by the resource compiler.
  target_compile_definitions(${target} PRIVATE READERSETUP_BUILD=${build})
  target_link_libraries(${target} PRIVATE tagsetup tagserialport tagserial tagserialwin32)
  # windres finds resource.h beside the script and the images below the
  # project root (tagsetup's include directory).
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/setup)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

readersetup_build(readersetup 36)
readersetup_build(readersetup-v3.5 35)
readersetup_build(readersetup-v3.3 33)
readersetup_build(readersetup-v3.0 30)
tagdesk_program_info(readersetup "网络读卡器配置工具 V3.6" readersetup.exe)
tagdesk_program_info(readersetup-v3.5 "网络读卡器配置工具 V3.5" readersetup-v3.5.exe)
tagdesk_program_info(readersetup-v3.3 "网络读卡器配置工具 V3.3" readersetup-v3.3.exe)
tagdesk_program_info(readersetup-v3.0 "网络读卡器配置工具 V3.0" readersetup-v3.0.exe)

unset(_readersetup_resources)
