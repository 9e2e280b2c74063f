// The window module's only exported symbol; the program finds it with dlsym.
#include <type_traits>

#include "start/window_loader.h"
#include "windowed_program.h"

extern "C" __attribute__((visibility("default"))) int chronvaneRunWindow(
    chronvane::ProgramOptions* options, int argc, char** argv) {
    return chronvane::runWindowedProgram(*options, argc, argv);
}

static_assert(std::is_same_v<decltype(chronvaneRunWindow), chronvane::RunWindowFunction>,
              "the program calls the entry through RunWindowFunction");
