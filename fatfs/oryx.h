/* ORYX: the Kestrel device and file-system library.
 *
 * Plain C interface, C calling convention, undecorated names. The usbc*
 * functions return 1 for success and 0 for failure. Callers serialise every
 * call: the library takes no lock. */
#ifndef ORYX_H
#define ORYX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(ORYX_BUILD)
#    define ORYX_API /* exported through the module definition file */
#  else
#    define ORYX_API __declspec(dllimport)
#  endif
#  define ORYX_CALL __cdecl
#else
#  define ORYX_API __attribute__((visibility("default")))
#  define ORYX_CALL
#endif

/* Loads the file-system firmware into the controller and starts the link. */
ORYX_API uint32_t ORYX_CALL usbcInit(void);
/* Stops the link and loads the device's main firmware back. */
ORYX_API void ORYX_CALL usbcClose(void);
/* Loads the image file at path into the controller (NULL: reset only) and
 * waits up to 15 s for the device to come back. */
ORYX_API uint32_t ORYX_CALL usbcDownload51(const char* path);

/* Card commands. adr is a page number; answers: 576 bytes per page read,
 * 64 per spare read, 4 for the ID, 2 for the status. */
ORYX_API uint32_t ORYX_CALL usbcReadSM(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcReadSMspare(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcReadID(uint8_t sm, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcGetStatus(uint8_t sm, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcEraseBlock(uint8_t sm, uint32_t adr);
ORYX_API uint32_t ORYX_CALL usbcWriteSM(uint8_t sm, uint32_t adr, uint16_t bcnt, const void* buffer);

/* Boot EEPROM: 32 bytes at a 16-bit address. */
ORYX_API uint32_t ORYX_CALL usbcReadLC(uint16_t adr, void* buffer);
ORYX_API uint32_t ORYX_CALL usbcWriteLC(uint16_t adr, const void* data);

#ifdef __cplusplus
}
#endif

#endif /* ORYX_H */
