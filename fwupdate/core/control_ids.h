/* Control identifiers of the update dialog. Plain C: the resource script
 * includes this header too. */
#ifndef FWUPDATE_CONTROL_IDS_H
#define FWUPDATE_CONTROL_IDS_H

#define IDC_EXIT 1          /* "Exit" */
#define IDC_CANCEL_UNUSED 2 /* "Cancel": disabled, never enabled */
#define IDC_PROGRESS 1049   /* progress bar, 0-100 */
#define IDC_UPDATE 1053     /* "Update" */
#define IDC_ACTION 1054     /* action text */
#define IDC_FRAME 1055      /* "Kestrel update via USB" */
#define IDC_EEPROM 1056     /* "EEPROM code" */
#define IDC_MAIN 1057       /* "MAIN code" */
#define IDC_PERCENT 1058    /* percent text */

#endif
