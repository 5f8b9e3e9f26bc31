#pragma once

// before the QApplication: Qt's fatal platform message becomes the program's own
// start-up failure ("Failed to initialize GUI library", exit 255)
void tarnova_install_startup_handler();

// the program with a QApplication in place: builds the services, runs the quick
// launch and answers the program's result (1 Finish; 0 Cancel, the close box or a
// quick launch that ended before the sheet; 255 a failed start-up)
int tarnova_main(int argc, char** argv);
