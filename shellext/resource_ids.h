// Identifiers of the extension's resources, shared by the resource script
// and the code. Plain macros: the resource compiler reads this file too.
#pragma once

// String table.
#define IDS_PRODUCT_NAME 5
#define IDS_VIEW 8
#define IDS_LARGE_ICONS 9
#define IDS_SMALL_ICONS 10
#define IDS_LIST 11
#define IDS_DETAILS 12
#define IDS_NEW 13
#define IDS_NEW_FOLDER 14
#define IDS_NEW_ITEM 15
#define IDS_PASTE 16
#define IDS_EXPLORE 17
#define IDS_OPEN 18
#define IDS_RENAME 19
#define IDS_CUT 20
#define IDS_COPY 21
#define IDS_DELETE 22
#define IDS_MODIFY_DATA 23

// Icon groups. In ascending order (4, 5, 9, 100) they are the library's
// icons 0 to 3, which is how the registry's DefaultIcon ",3" names 100.
#define IDI_FOLDER_CLOSED 4
#define IDI_FOLDER_OPEN 5
#define IDI_DEVICE 9
#define IDI_DOCUMENT 100

// Keyboard accelerators of the folder view.
#define IDR_VIEW_ACCELERATORS 101

// The progress animation (an AVI clip).
#define IDR_PROGRESS_ANIMATION 103

// The "Confirm File Replace" dialog and its two texts. Its buttons carry
// the answers: IDYES (6), IDNO (7), IDCANCEL (2) and 8 for Yes to All.
#define IDD_CONFIRM_REPLACE 111
#define IDC_REPLACE_QUESTION 1006
#define IDC_REPLACE_NAME 1007
#define IDC_YES_TO_ALL 8

// Command offsets that the accelerators produce.
#define CMD_DELETE 8
#define CMD_COPY 9
#define CMD_CUT 10
#define CMD_PASTE 11
