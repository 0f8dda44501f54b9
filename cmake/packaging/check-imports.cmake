cmake_minimum_required(VERSION 3.22)
include(${CMAKE_CURRENT_LIST_DIR}/pe-listing.cmake)

# Fails when a Windows binary imports a DLL that is not part of Windows: everything else the
# monitor needs is linked in, so a user's machine needs nothing beside the package's files.
#   cmake -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DFILES=<binary;...> -P check-imports.cmake
# The DLLs that every supported Windows has (compared without regard to case).
set(SYSTEM_DLLS
    kernel32.dll user32.dll gdi32.dll shell32.dll advapi32.dll ole32.dll oleaut32.dll
    comctl32.dll comdlg32.dll winmm.dll setupapi.dll hid.dll version.dll shlwapi.dll
    msvcrt.dll ntdll.dll ws2_32.dll bcrypt.dll crypt32.dll uxtheme.dll psapi.dll
    wtsapi32.dll cfgmgr32.dll newdev.dll imm32.dll)

set(FOUND_ANY FALSE)
set(FOREIGN "")
foreach(FILE IN LISTS FILES)
  if(FILE STREQUAL "")
    continue()
  endif()
  pe_listing("${FILE}" LISTING)
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" NAMES "${LISTING}")
  set(IMPORTS "")
  foreach(NAME IN LISTS NAMES)
    string(REGEX REPLACE "^DLL Name: " "" NAME "${NAME}")
    string(STRIP "${NAME}" NAME)
    string(TOLOWER "${NAME}" LOWER)
    list(APPEND IMPORTS "${NAME}")
    # The API sets of the universal C runtime are part of Windows 10 and later.
    if(NOT LOWER IN_LIST SYSTEM_DLLS AND NOT LOWER MATCHES "^api-ms-win-")
      # One unwrapped line each, for whoever reads the output.
      message(STATUS "${FILE} imports ${NAME}, which is not part of Windows")
      list(APPEND FOREIGN "${NAME}")
    endif()
  endforeach()
  if(IMPORTS STREQUAL "")
    # Every Windows program imports something: an empty list means the listing was not read.
    message(STATUS "${FILE}: no imports found in the listing")
    list(APPEND FOREIGN "(no imports)")
  endif()
  string(REPLACE ";" ", " IMPORTS "${IMPORTS}")
  message(STATUS "${FILE}: ${IMPORTS}")
  set(FOUND_ANY TRUE)
endforeach()
if(NOT FOUND_ANY)
  message(FATAL_ERROR "no binary to check")
endif()
if(NOT FOREIGN STREQUAL "")
  message(FATAL_ERROR "imports that are not part of Windows: ${FOREIGN}")
endif()
