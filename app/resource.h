// Resource and command identifiers.
#pragma once

#define IDS_APP_TITLE 103
#define IDC_TOMEVIEW 109          // menu, accelerators and class-name string
#define IDD_ABOUTBOX 103
#define IDI_TOMEVIEW 107
#define IDI_SMALL 108
#define IDC_ABOUT_LINK 1024

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_COPY 32809
#define IDM_SELECT_ALL 32812
#define IDM_OPEN 32814
#define IDM_SAVE_AS 32816
#define IDM_PRINT 32818
#define IDM_VIEW_ANSI 32819
#define IDM_VIEW_UTF8 32820
#define IDM_VIEW_UTF16LE 32821
#define IDM_VIEW_UTF16BE 32822
#define IDM_CONVERT_ANSI 32823
#define IDM_CONVERT_UTF8 32824
#define IDM_CONVERT_UTF16LE 32825
#define IDM_CONVERT_UTF16BE 32826
#define IDM_STORE_BOM 32827
#define IDM_FIND 32828
#define IDM_FIND_NEXT 32829
#define IDM_GOTO 32831
#define IDM_FONT 32833
#define IDM_RELOAD 32834
#define IDM_LIST_LINES 32840
#define IDM_SAVE_LISTED 32841
#define IDM_FOLLOW 32842
#define IDM_CLOSE_LIST 32843
#define IDM_NEXT_PANE 32844

#define IDD_FIND 132
#define IDC_FIND_TEXT 1013
#define IDC_WHOLE_WORD 1016
#define IDC_MATCH_CASE 1017
#define IDC_WRAP_AROUND 1018
#define IDC_REGEX 1030
#define IDC_FIND_NEXT 1021
#define IDC_FIND_PREVIOUS 1022
#define IDC_COUNT 1004
#define IDC_FIND_STATUS 1023
#define IDC_LIST_LINES 1031
#define IDC_INVERSE 1032

#define IDD_GOTO 151

// Texts of the string table; %1, %2 are filled in (FillIn), | in a file
// filter stands for its NUL separators.
#define IDS_PRODUCT_TITLE 200       // "Tomeview超大文本浏览器-Orvane："
#define IDS_OPENING_TITLE 201       // the title while a file is indexed
#define IDS_FILE_TITLE 202          // the title of an open file
#define IDS_FILE_GONE_TITLE 205     // the same while the followed file is gone
#define IDS_OPEN_FILTER 203
#define IDS_OPEN_CAPTION 204
#define IDS_COPY_CAPTION 210
#define IDS_COPY_TOO_LARGE 211
#define IDS_COPY_NO_MEMORY 212
#define IDS_COPY_BUSY 213
#define IDS_FIND_PROGRESS 220
#define IDS_FIND_NO_MEMORY 221
#define IDS_FIND_FOUND 222
#define IDS_FIND_NOT_FOUND 223
#define IDS_FIND_CANCELLED 224
#define IDS_COUNT_PROGRESS 225
#define IDS_COUNT_NO_MEMORY 226
#define IDS_COUNT_CANCELLED 227
#define IDS_COUNT_DONE 228
#define IDS_SAVE_PROGRESS 230
#define IDS_SAVE_FILTER 231
#define IDS_SAVE_CAPTION 232
#define IDS_SAVE_DONE 233
#define IDS_SAVE_CANCELLED 234
#define IDS_SAVE_FAILED 235
#define IDS_SAVE_BOX_CAPTION 236
#define IDS_PRINT_PAGE_NUMBER 240
#define IDS_PRINT_PROGRESS 241
#define IDS_PRINT_DONE 242
#define IDS_PRINT_CANCELLED 243
#define IDS_REGEX_BAD 250
#define IDS_REGEX_TOO_COMPLEX 251
#define IDS_REGEX_TOO_LONG 252
#define IDS_LIST_PROGRESS 260
#define IDS_LIST_DONE 261
#define IDS_LIST_CANCELLED 262
#define IDS_LIST_NO_MEMORY 263
#define IDS_SAVE_LISTED_CAPTION 264
#define IDS_SAVE_LISTED_BOX 265
#define IDC_GOTO_LINE 1003

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
