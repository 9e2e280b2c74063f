# One interface target carries the warning set, so every target gets the same flags
# and CI can turn them into errors in one place. C++ only: the resource compiler of
# the Windows build shares the targets and knows none of them.
add_library(chronvane_warnings INTERFACE)
target_compile_options(chronvane_warnings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion>)
option(CHRONVANE_WERROR "Treat compiler warnings as errors" OFF)
if(CHRONVANE_WERROR)
    target_compile_options(chronvane_warnings INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()
