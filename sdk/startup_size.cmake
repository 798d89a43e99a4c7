# Prints the size of an assembled module (the sum of its areas in the .rel file REL) and fails
# when it is LIMIT bytes or more.
file(STRINGS ${REL} areas REGEX "^A ")
set(size 0)
foreach(area ${areas})
    string(REGEX MATCH "size ([0-9A-Fa-f]+)" found "${area}")
    math(EXPR size "${size} + 0x${CMAKE_MATCH_1}")
endforeach()
if(size GREATER_EQUAL LIMIT)
    message(FATAL_ERROR "start-up code: ${size} bytes, must stay under ${LIMIT}")
endif()
message("start-up code (sdk/crt0.s): ${size} bytes (limit: under ${LIMIT})")
