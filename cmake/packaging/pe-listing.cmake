# What the checks of Windows binaries share: a binary's headers, imports and the rest as
# OBJDUMP -p lists them, or a fatal error naming what went wrong.
function(pe_listing AFILE AOUT)
  if(NOT EXISTS "${AFILE}")
    message(FATAL_ERROR "${AFILE} is missing")
  endif()
  execute_process(COMMAND "${OBJDUMP}" -p "${AFILE}" OUTPUT_VARIABLE LISTING
                  RESULT_VARIABLE STATUS ERROR_VARIABLE ERRORS)
  if(NOT STATUS EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${AFILE} failed: ${ERRORS}")
  endif()
  set(${AOUT} "${LISTING}" PARENT_SCOPE)
endfunction()
