# Third-party header-only libraries, each an INTERFACE target.
#
# cli11: CLI11, the command-line parser (Debian: libcli11-dev). Its headers
# are the folder CLI/ in the host's header folder. Targets get a folder of
# the build on their include path that holds only a link to CLI/, so that no
# build, the MinGW one above all, sees the host's other headers.
set(TAGDESK_CLI11_ROOT "/usr/include" CACHE PATH "folder that holds CLI/CLI.hpp (CLI11)")
if(NOT EXISTS ${TAGDESK_CLI11_ROOT}/CLI/CLI.hpp)
  message(FATAL_ERROR "CLI11 not found in ${TAGDESK_CLI11_ROOT}: install libcli11-dev "
                      "(scripts/setup.sh) or set TAGDESK_CLI11_ROOT")
endif()
set(cli11Include ${CMAKE_BINARY_DIR}/third-party/cli11)
file(MAKE_DIRECTORY ${cli11Include})
if(IS_SYMLINK ${cli11Include}/CLI)
  file(REMOVE ${cli11Include}/CLI)  # linked anew, in case TAGDESK_CLI11_ROOT changed
endif()
if(NOT EXISTS ${cli11Include}/CLI/CLI.hpp)
  file(CREATE_LINK ${TAGDESK_CLI11_ROOT}/CLI ${cli11Include}/CLI RESULT linked SYMBOLIC)
  if(NOT linked EQUAL 0)  # no symbolic links here (Windows without the right): a copy
    file(COPY ${TAGDESK_CLI11_ROOT}/CLI DESTINATION ${cli11Include})
  endif()
endif()
add_library(cli11 INTERFACE)
target_include_directories(cli11 SYSTEM INTERFACE ${cli11Include})
