# Third-party header-only libraries, each an INTERFACE target:
#
#   cli11          CLI11, the command-line parser (Debian: libcli11-dev)
#   nlohmann_json  nlohmann/json (Debian: nlohmann-json3-dev)
#
# Their headers are one folder each (CLI/, nlohmann/) in the host's header
# folder. Targets get a folder of the build on their include path that holds
# only a link to that one folder, so that no build, the MinGW one above all,
# sees the host's other headers.
set(TAGDESK_HEADER_ROOT "/usr/include" CACHE PATH
    "folder that holds CLI/CLI.hpp (CLI11) and nlohmann/json.hpp")

# tagdesk_header_library(TARGET FOLDER HEADER PACKAGE)
function(tagdesk_header_library target folder header package)
  if(NOT EXISTS ${TAGDESK_HEADER_ROOT}/${folder}/${header})
    message(FATAL_ERROR "${folder}/${header} not found in ${TAGDESK_HEADER_ROOT}: install "
                        "${package} (scripts/setup.sh) or set TAGDESK_HEADER_ROOT")
  endif()
  set(include ${CMAKE_BINARY_DIR}/third-party/${target})
  file(MAKE_DIRECTORY ${include})
  if(IS_SYMLINK ${include}/${folder})
    file(REMOVE ${include}/${folder})  # linked anew, in case TAGDESK_HEADER_ROOT changed
  endif()
  if(NOT EXISTS ${include}/${folder}/${header})
    # No symbolic links here (Windows without the right): a copy.
    file(CREATE_LINK ${TAGDESK_HEADER_ROOT}/${folder} ${include}/${folder} SYMBOLIC COPY_ON_ERROR)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${include})
endfunction()

tagdesk_header_library(cli11 CLI CLI.hpp libcli11-dev)
tagdesk_header_library(nlohmann_json nlohmann json.hpp nlohmann-json3-dev)
