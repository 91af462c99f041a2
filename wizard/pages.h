// The dialog procedures of the nine wizard pages, in sheet order. The sheet
// wraps each one (sheet.cpp), so a page procedure never needs its own guard
// against exceptions.
#pragma once

#include <windows.h>

INT_PTR CALLBACK WizReqNetFwNotMetDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizStartDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizNotSupportedDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizPmSelectDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizPmNewDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizSelectUnitDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizBeforeInstallDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizInstallDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizEndDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
