# Where the built programs are. Every program a script may start is declared with
# chronvane_program(): it is built into one folder, <build>/bin, and its path is
# written into <build>/programs.txt (one "name path" line each), which
# scripts/program-path reads. So no script spells out a build path, and a program
# left over from an older layout of the tree is never the one started: it is not
# in the list.

set(CHRONVANE_PROGRAM_DIR ${PROJECT_BINARY_DIR}/bin)
set_property(GLOBAL PROPERTY CHRONVANE_PROGRAMS "")

function(chronvane_program target)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CHRONVANE_PROGRAM_DIR})
    set_property(GLOBAL APPEND PROPERTY CHRONVANE_PROGRAMS ${target})
endfunction()

# Called once at the end of the top-level list, when every program is declared.
function(chronvane_write_program_list)
    get_property(programs GLOBAL PROPERTY CHRONVANE_PROGRAMS)
    set(lines "")
    foreach(target IN LISTS programs)
        string(APPEND lines "${target} $<TARGET_FILE:${target}>\n")
    endforeach()
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/programs.txt CONTENT "${lines}")
endfunction()
