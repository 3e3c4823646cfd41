/* A client of the installed library, built against the staged oryx.h and
 * liboryx.so through pkg-config: formats the card of the device that
 * KESTREL_SIM names, writes a file, reads it back and lists the root.
 * Prints "ok" and exits 0 when every step gives what it should. */
#include <oryx.h>

#include <stdio.h>
#include <string.h>

static int failed(const char* step, uint32_t result) {
    fprintf(stderr, "oryx_client: %s: result %u\n", step, (unsigned)result);
    usbcClose();
    return 1;
}

int main(void) {
    static const char text[] = "installed library, simulated device\n";
    char back[sizeof text] = {0};
    uint32_t result, bad = 0, delivered = 0, count = 0, size = 0;
    oryx_handle handle = 0;

    if ((result = mt_smInit()) != ORYX_OK) return failed("mt_smInit", result);
    if ((result = mt_smFormatVol("dev0:\\", "PACKAGED", 0, &bad, NULL)) != ORYX_OK)
        return failed("mt_smFormatVol", result);
    if ((result = mt_smCreateFile("dev0:\\HELLO.TXT", 0, &handle)) != ORYX_OK)
        return failed("mt_smCreateFile", result);
    if ((result = mt_smWriteFile(handle, text, sizeof text - 1)) != ORYX_OK)
        return failed("mt_smWriteFile", result);
    if ((result = mt_smCloseFile(handle)) != ORYX_OK) return failed("mt_smCloseFile", result);

    if ((result = mt_smGetSizeFile("dev0:\\HELLO.TXT", &size)) != ORYX_OK || size != sizeof text - 1)
        return failed("mt_smGetSizeFile", result ? result : size);
    if ((result = mt_smOpenFile("dev0:\\HELLO.TXT", 0, &handle)) != ORYX_OK)
        return failed("mt_smOpenFile", result);
    result = mt_smReadFile(handle, back, sizeof text - 1, &delivered);
    if (result != ORYX_OK || delivered != sizeof text - 1 || memcmp(back, text, sizeof text - 1) != 0)
        return failed("mt_smReadFile", result ? result : delivered);
    if ((result = mt_smCloseFile(handle)) != ORYX_OK) return failed("mt_smCloseFile (read)", result);

    if ((result = mt_smGetListNumDir("dev0:\\", &count)) != ORYX_OK || count != 1)
        return failed("mt_smGetListNumDir", result ? result : 100 + count);
    usbcClose();
    printf("ok\n");
    return 0;
}
