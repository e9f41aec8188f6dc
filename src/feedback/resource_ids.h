/* Resource and control ids of the main dialog, shared by the code and the resource script
   (so they are plain macros, which the resource compiler understands). */
#pragma once

#define IDI_MAIN 101
#define IDD_MAIN 107

#define IDC_PROGRESS 1000
#define IDC_UPDATE 1005
#define IDC_BROWSE 1006
#define IDC_FOLDER 1009
#define IDC_STATUS 1010
#define IDC_LOCATION_LABEL 1013
/* The system's cancel id, so the dialog manager routes Escape and the close box to it. */
#define IDC_CANCEL 2

#define IDR_MANIFEST 1
