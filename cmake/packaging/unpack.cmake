cmake_minimum_required(VERSION 3.22)

# Unpacks a package's ZIP into a folder of its own, as a user's unzipper does:
#   cmake -DZIP=<file> -DFOLDER=<folder> -P unpack.cmake
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "${ZIP} has not been built")
endif()
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${FOLDER}")
message(STATUS "${ZIP} unpacked into ${FOLDER}")
