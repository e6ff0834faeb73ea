/* The settings window's dialog template and control numbers, in one place. Plain #defines only:
   the resource compiler reads this header as well as C++. */
#ifndef CRACKLETON_SETTINGS_WINDOW_DIALOG_IDS_H
#define CRACKLETON_SETTINGS_WINDOW_DIALOG_IDS_H

#define SETTINGS_DIALOG_ID 105

#define OK_BUTTON_ID 1 /* IDOK: the dialog manager sends it for Enter */
#define AMOUNT_SLIDER_ID 1000
#define AMOUNT_LABEL_ID 1008
#define FAKE_SKIPPING_CHECK_BOX_ID 1005
#define SWAYING_CHECK_BOX_ID 1006
#define NOISE_CHECK_BOX_ID 1007
#define SPEED_SLIDER_ID 1009
#define SPEED_LABEL_ID 1010

#endif
