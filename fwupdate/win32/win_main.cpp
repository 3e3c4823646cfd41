// fwupdate.exe: the one-window update program.
#include "fwupdate/win32/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    return kestrel::fwupdate::win32::runProgram(instance, previous, commandLine, show);
}
