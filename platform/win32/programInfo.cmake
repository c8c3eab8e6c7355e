# The version resource and application manifest of every Windows program of
# the suite, from one template: platform/win32/programInfo.rc.in (the
# VERSIONINFO, stamped with the project version) and programInfo.manifest.in.
# Included from the top level; on other systems the function does nothing.
#
#   tagdesk_program_info(TARGET DESCRIPTION FILE_NAME)
#
# configures <build>/programInfo/TARGET.rc with DESCRIPTION (Simplified
# Chinese) as FileDescription and FILE_NAME as OriginalFilename, and adds it
# to TARGET's sources.

# The manifest's two choices (docs/release.md gives the reasons). Both can be
# switched for comparison screenshots; the delivered build keeps the defaults.
option(TAGDESK_VISUAL_STYLES "Manifest: common controls 6 (visual styles)" ON)
option(TAGDESK_DPI_AWARE "Manifest: declare the programs DPI-aware (they do not scale their pixel sizes)" OFF)

set(TAGDESK_PRODUCT_NAME "tagdesk")
set(_tagdesk_program_info_dir ${CMAKE_CURRENT_LIST_DIR})

if(WIN32)
  enable_language(RC)
  set(PROGRAM_MANIFEST_EXTRA "")
  if(TAGDESK_VISUAL_STYLES)
    string(APPEND PROGRAM_MANIFEST_EXTRA [[
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
]])
  endif()
  if(TAGDESK_DPI_AWARE)
    string(APPEND PROGRAM_MANIFEST_EXTRA [[
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
    </windowsSettings>
  </application>
]])
  endif()
  # The version for scripts/package.sh.
  file(WRITE ${CMAKE_BINARY_DIR}/programInfo/version.txt "${tagdesk_VERSION}\n")
  set(PROGRAM_MANIFEST_VERSION
      "${tagdesk_VERSION_MAJOR}.${tagdesk_VERSION_MINOR}.${tagdesk_VERSION_PATCH}.0")
  set(TAGDESK_PROGRAM_MANIFEST ${CMAKE_BINARY_DIR}/programInfo/programInfo.manifest)
  configure_file(${_tagdesk_program_info_dir}/programInfo.manifest.in ${TAGDESK_PROGRAM_MANIFEST} @ONLY)
  unset(PROGRAM_MANIFEST_EXTRA)
  unset(PROGRAM_MANIFEST_VERSION)
endif()

function(tagdesk_program_info target description file_name)
  if(NOT WIN32)
    return()
  endif()
  set(PROGRAM_TARGET ${target})
  set(PROGRAM_DESCRIPTION ${description})
  set(PROGRAM_FILE_NAME ${file_name})
  set(PROGRAM_PRODUCT ${TAGDESK_PRODUCT_NAME})
  set(PROGRAM_VERSION ${tagdesk_VERSION})
  set(PROGRAM_VERSION_COMMAS
      "${tagdesk_VERSION_MAJOR},${tagdesk_VERSION_MINOR},${tagdesk_VERSION_PATCH},0")
  set(PROGRAM_MANIFEST ${TAGDESK_PROGRAM_MANIFEST})
  set(script ${CMAKE_BINARY_DIR}/programInfo/${target}.rc)
  configure_file(${_tagdesk_program_info_dir}/programInfo.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
  # Where the program lands, for scripts/package.sh.
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/programInfo/${target}.path
       CONTENT "$<TARGET_FILE:${target}>\n")
  # The manifest is the script's; MSVC's linker would add a second one.
  if(MSVC)
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
  # The resource compiler does not track the manifest it embeds.
  set_source_files_properties(${script} TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS ${TAGDESK_PROGRAM_MANIFEST})
endfunction()
