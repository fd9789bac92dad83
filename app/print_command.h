// The print job of the application: pages of its document, titles of progress.
#pragma once
#include <windows.h>
#include <commdlg.h>

class TextView;

// Prints every line of the application's document on the DC in pd.hDC, with
// the progress in the main window's title; Esc or closing cancels it.
void PrintDocument(TextView& app, PRINTDLGW& pd);
