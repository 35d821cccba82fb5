// quillon: corrects the optical faults of photographs.
//
//   quillon                         the folder browser (needs a display)
//   quillon [-i] [--] photo.jpg ... the editor, one file after another
//   quillon -q|-Q [-i] [--] photo   the quiet one-shot correction; -q notes
//                                   progress, -Q is silent, -i adds the lens's
//                                   distortion instead of removing it
// Each argument is taken as the system hands it over; "--" lets a file name
// start with '-'.
//
// This executable links no GUI toolkit: with a display it becomes the window
// program (app/window_program.h), without one it runs here.

#include "app/display.h"
#include "app/program_main.h"
#include "app/window_program.h"
#include "platform/message_sink.h"

int main(int argc, char** argv) {
    using namespace quillon;
    platform::StderrSink sink;
    if (app::DisplayAvailable()) {
        // Back here only when the window program could not be started: the run
        // goes on as one without a display would, so a quiet correction still
        // happens and the other modes say that no window can be opened.
        sink.Show(app::StartWindowProgram(argv));
    }
    return app::RunProgramMain(argc, argv, sink, {});
}
