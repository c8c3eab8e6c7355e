# The test consoles' program targets (Windows only). A console's directory
# holds main.cpp, its resource script and resource.h; the script includes the
# consoles' shared resources from console/.
enable_language(RC)

# tagdesk_add_console(TARGET SCRIPT): the GUI program TARGET from main.cpp,
# SCRIPT and the shared console body.
function(tagdesk_add_console target script)
  add_executable(${target} WIN32 main.cpp ${script}
    ${PROJECT_SOURCE_DIR}/platform/win32/consoleProgram.cpp)
  target_link_libraries(${target} PRIVATE tagnet tagwin32)
  # windres finds resource.h beside the script and the shared scripts and
  # images below the project root.
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  endif()
  if(TAGDESK_DEBUG_TRACE)
    target_compile_definitions(${target} PRIVATE TAGDESK_DEBUG_TRACE=1)
  endif()
  # The resource compiler does not track the files the script names.
  set(console ${PROJECT_SOURCE_DIR}/console)
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${console}/panelIds.h;${console}/consoleCommon.rc;${console}/panelCommands.rc;${console}/panelGrid.rc;${console}/listen/res/tagdesk.ico;${console}/listen/res/background.bmp"
  )
endfunction()
