cmake_minimum_required(VERSION 3.22)
include(${CMAKE_CURRENT_LIST_DIR}/pe-listing.cmake)

# Fails when a shipped Windows binary lost a protection or its version, or would not load on
# Windows 7:
#   cmake -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DFILES=<binary;...> -DVERSION=<x.y.z>
#         -P check-hardening.cmake
# Each binary must have address space layout randomisation with 64-bit entropy and no
# execution from data pages (DllCharacteristics DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT), a
# program must be terminal-server aware, the stack protector's check must be linked in (its
# message is in the file), the version resource must carry VERSION, the headers must ask for
# no Windows newer than 7 (6.1), and no import may be a function that Windows 7 lacks.

# Functions of Windows 8 and later that the code binds at run time where it uses them; a
# static import of any of them would stop the binary from loading on Windows 7.
set(NEWER_THAN_WINDOWS_7
    GetDpiForWindow GetDpiForSystem GetDpiForMonitor GetSystemDpiForProcess
    SystemParametersInfoForDpi AdjustWindowRectExForDpi GetSystemMetricsForDpi
    SetThreadDpiAwarenessContext SetProcessDpiAwarenessContext SetProcessDpiAwareness
    GetAwarenessFromDpiAwarenessContext EnableNonClientDpiScaling GetSystemTimePreciseAsFileTime
    CreateFile2 GetCurrentThreadStackLimits SetThreadDescription GetThreadDescription
    WaitOnAddress WakeByAddressSingle WakeByAddressAll SetDefaultDllDirectories AddDllDirectory
    RemoveDllDirectory GetCurrentPackageId GetPackageFamilyName GetFirmwareType
    CompareObjectHandles VirtualAlloc2 MapViewOfFile3 DiscardVirtualMemory OfferVirtualMemory
    PrefetchVirtualMemory RoGetActivationFactory RoInitialize)

# The bytes of ATEXT as UTF-16LE, in hex as file(READ ... HEX) gives them.
function(utf16_hex ATEXT AOUT)
  string(HEX "${ATEXT}" ASCII)
  string(REGEX REPLACE "(..)" "\\100" WIDE "${ASCII}")
  set(${AOUT} "${WIDE}" PARENT_SCOPE)
endfunction()

set(FAULTS "")
set(CHECKED 0)
foreach(FILE IN LISTS FILES)
  if(FILE STREQUAL "")
    continue()
  endif()
  get_filename_component(NAME "${FILE}" NAME)
  pe_listing("${FILE}" LISTING)

  # The flags.
  if(NOT LISTING MATCHES "DllCharacteristics[ \t]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "${NAME}: no DllCharacteristics in the listing")
  endif()
  set(FLAGS_HEX "${CMAKE_MATCH_1}")
  math(EXPR FLAGS "0x${FLAGS_HEX}")
  set(WANTED "HIGH_ENTROPY_VA=32" "DYNAMIC_BASE=64" "NX_COMPAT=256")
  string(TOLOWER "${NAME}" LOWER_NAME)
  if(LOWER_NAME MATCHES "\\.exe$")
    list(APPEND WANTED "TERMINAL_SERVICE_AWARE=32768")
  endif()
  set(MISSING "")
  foreach(PAIR IN LISTS WANTED)
    string(REPLACE "=" ";" PAIR "${PAIR}")
    list(GET PAIR 0 FLAG)
    list(GET PAIR 1 BIT)
    math(EXPR SET "${FLAGS} & ${BIT}")
    if(SET EQUAL 0)
      list(APPEND MISSING ${FLAG})
    endif()
  endforeach()
  if(MISSING)
    string(REPLACE ";" ", " MISSING "${MISSING}")
    list(APPEND FAULTS "${NAME} lacks ${MISSING}")
  endif()

  # The Windows the headers ask for.
  foreach(KIND OSystem Subsystem)
    if(LISTING MATCHES "Major${KIND}Version[ \t]+([0-9]+)[\r\n]+[ \t]*Minor${KIND}Version[ \t]+([0-9]+)")
      set(ASKED "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
      if(ASKED VERSION_GREATER 6.1)
        list(APPEND FAULTS "${NAME} asks for Windows ${ASKED} (${KIND} version)")
      endif()
    else()
      message(FATAL_ERROR "${NAME}: no ${KIND} version in the listing")
    endif()
  endforeach()

  # The imports.
  string(FIND "${LISTING}" "The Import Tables" IMPORTS_AT)
  if(IMPORTS_AT LESS 0)
    list(APPEND FAULTS "${NAME} has no import table")
  else()
    string(SUBSTRING "${LISTING}" ${IMPORTS_AT} -1 IMPORTS)
    foreach(FUNCTION IN LISTS NEWER_THAN_WINDOWS_7)
      if(IMPORTS MATCHES "[ \t]${FUNCTION}[\r\n]")
        list(APPEND FAULTS "${NAME} imports ${FUNCTION}, which Windows 7 lacks")
      endif()
    endforeach()
  endif()

  # The stack protector's check and the version resource, in the file's bytes.
  file(STRINGS "${FILE}" GUARD LIMIT_COUNT 1 REGEX "stack smashing detected")
  if(GUARD STREQUAL "")
    list(APPEND FAULTS "${NAME} has no stack protector")
  endif()
  file(READ "${FILE}" BYTES HEX)
  utf16_hex("VS_VERSION_INFO" INFO_HEX)
  utf16_hex("${VERSION}." VERSION_HEX)
  string(FIND "${BYTES}" "${INFO_HEX}" INFO_AT)
  string(FIND "${BYTES}" "${VERSION_HEX}" VERSION_AT)
  if(INFO_AT LESS 0)
    list(APPEND FAULTS "${NAME} has no version resource")
  elseif(VERSION_AT LESS 0)
    list(APPEND FAULTS "${NAME}'s version resource does not carry ${VERSION}")
  endif()
  math(EXPR CHECKED "${CHECKED} + 1")
  message(STATUS "${NAME}: DllCharacteristics 0x${FLAGS_HEX}")
endforeach()
if(CHECKED EQUAL 0)
  message(FATAL_ERROR "no binary to check")
endif()
if(FAULTS)
  foreach(FAULT IN LISTS FAULTS)
    message(STATUS "${FAULT}")
  endforeach()
  message(FATAL_ERROR "${CHECKED} binaries checked; not hardened as shipped binaries must be")
endif()
message(STATUS "${CHECKED} binaries checked: hardened, versioned, for Windows 7 and later")
