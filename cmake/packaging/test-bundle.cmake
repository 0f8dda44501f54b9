cmake_minimum_required(VERSION 3.22)

# Lays out the test bundle and packs it as a ZIP:
#   cmake -DFILES=<from|folder,...> -DSTAGE=<folder> -DNAME=<name> -DZIP=<file> -P test-bundle.cmake
# Each file goes into that folder below NAME, which is the one folder of the ZIP.
string(REPLACE "," ";" FILES "${FILES}")
file(REMOVE_RECURSE "${STAGE}/${NAME}")
foreach(ENTRY ${FILES})
  string(REPLACE "|" ";" ENTRY "${ENTRY}")
  list(GET ENTRY 0 FROM)
  list(GET ENTRY 1 TO)
  if(NOT EXISTS "${FROM}")
    message(FATAL_ERROR "${FROM} has not been built")
  endif()
  file(COPY "${FROM}" DESTINATION "${STAGE}/${NAME}/${TO}")
endforeach()
get_filename_component(ZIP_FOLDER "${ZIP}" DIRECTORY)
file(MAKE_DIRECTORY "${ZIP_FOLDER}")
file(REMOVE "${ZIP}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip "${NAME}"
                WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE RESULT)
if(NOT RESULT EQUAL 0)
  message(FATAL_ERROR "packing ${ZIP} failed: ${RESULT}")
endif()
