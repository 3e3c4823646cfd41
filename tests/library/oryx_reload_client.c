/* A plain C caller that loads the ORYX library at run time and unloads it
 * while the device link runs.
 *
 *   oryx_reload_client LIBRARY answered|silent
 *
 * 1. Loads LIBRARY, calls usbcInit and unloads the library without
 *    usbcClose.
 * 2. Loads it again and, without usbcInit, asks for the card's ID: only the
 *    file-system firmware answers card commands, so the answer tells whether
 *    the device still runs the firmware usbcInit loaded. The second
 *    argument says which is expected: "answered" or "silent".
 * 3. Calls usbcClose and unloads the library.
 *
 * Exit codes: 0 done, 1 bad command line, 2 the library or one of its
 * functions cannot be loaded, 3 usbcInit failed, 4 the ID request after the
 * reload did not do what the second argument expects. */
#include "oryx/oryx.h"

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
typedef HMODULE Library;
static Library openLibrary(const char* path) { return LoadLibraryA(path); }
static void closeLibrary(Library library) { FreeLibrary(library); }
static void (*findFunction(Library library, const char* name))(void) {
    return (void (*)(void))GetProcAddress(library, name);
}
#else
#include <dlfcn.h>
typedef void* Library;
static Library openLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void closeLibrary(Library library) { dlclose(library); }
static void (*findFunction(Library library, const char* name))(void) {
    void (*function)(void) = NULL;
    void* address = dlsym(library, name);
    memcpy(&function, &address, sizeof function); /* object to function pointer, as POSIX allows */
    return function;
}
#endif

enum {
    EXIT_USAGE = 1,
    EXIT_LOAD = 2,
    EXIT_INIT = 3,
    EXIT_UNEXPECTED = 4
};

typedef uint32_t(ORYX_CALL* InitFunction)(void);
typedef void(ORYX_CALL* CloseFunction)(void);
typedef uint32_t(ORYX_CALL* ReadIdFunction)(uint8_t sm, void* buffer);

struct Oryx {
    Library library;
    InitFunction init;
    CloseFunction close;
    ReadIdFunction readId;
};

/* Loads the library and finds the three functions; 0 when anything is missing. */
static int load(const char* path, struct Oryx* oryx) {
    oryx->library = openLibrary(path);
    if (!oryx->library) {
        fprintf(stderr, "oryx_reload_client: cannot load %s\n", path);
        return 0;
    }
    oryx->init = (InitFunction)findFunction(oryx->library, "usbcInit");
    oryx->close = (CloseFunction)findFunction(oryx->library, "usbcClose");
    oryx->readId = (ReadIdFunction)findFunction(oryx->library, "usbcReadID");
    if (oryx->init && oryx->close && oryx->readId) return 1;
    fprintf(stderr, "oryx_reload_client: %s lacks usbcInit, usbcClose or usbcReadID\n", path);
    closeLibrary(oryx->library);
    return 0;
}

int main(int argc, char** argv) {
    struct Oryx oryx;
    unsigned char id[4] = {0};
    uint32_t answered;
    int expectAnswer;

    if (argc != 3 || (strcmp(argv[2], "answered") != 0 && strcmp(argv[2], "silent") != 0)) {
        fputs("usage: oryx_reload_client LIBRARY answered|silent\n", stderr);
        return EXIT_USAGE;
    }
    expectAnswer = strcmp(argv[2], "answered") == 0;
    if (!load(argv[1], &oryx)) return EXIT_LOAD;
    if (oryx.init() != 1) {
        fputs("oryx_reload_client: usbcInit failed\n", stderr);
        closeLibrary(oryx.library);
        return EXIT_INIT;
    }
    closeLibrary(oryx.library);

    if (!load(argv[1], &oryx)) return EXIT_LOAD;
    answered = oryx.readId(0, id);
    oryx.close();
    closeLibrary(oryx.library);
    if ((answered != 0) != expectAnswer) {
        fprintf(stderr, "oryx_reload_client: the ID request after the reload was %s\n",
                answered ? "answered" : "not answered");
        return EXIT_UNEXPECTED;
    }
    return 0;
}
