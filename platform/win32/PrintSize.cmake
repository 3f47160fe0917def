# Prints an executable's size after the build: cmake -DFILE=<path> -P PrintSize.cmake
file(SIZE "${FILE}" _bytes)
math(EXPR _kb "(${_bytes} + 1023) / 1024")
get_filename_component(_name "${FILE}" NAME)
message(STATUS "${_name}: ${_bytes} bytes (${_kb} KB)")
