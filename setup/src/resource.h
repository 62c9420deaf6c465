/* Resource ids shared by zarnsetup.rc and the code. Plain defines: the
   resource compiler reads this file too. */
#ifndef ZARNSETUP_RESOURCE_H
#define ZARNSETUP_RESOURCE_H

#define IDD_AGREEMENT 101
#define IDD_OVERWRITE 109

#define ID_ACCEPT 1  /* IDOK: "&Yes" in dialog 101 */
#define ID_DECLINE 2 /* IDCANCEL: "&No" and Escape in dialog 101 */

#define IDC_AGREEMENT_TEXT 1000
#define IDC_ANSWER_YES_TO_ALL 1009
#define IDC_ANSWER_YES 1010
#define IDC_ANSWER_NO 1011
#define IDC_ANSWER_NO_TO_ALL 1012
#define IDC_OVERWRITE_TEXT 1013
#define IDC_INTRO 1015
#define IDC_READ_AGREEMENT 1016
#define IDC_ACCEPT_LINE1 1017
#define IDC_ACCEPT_LINE2 1018

#endif
