#pragma once

// Crash reporting for the process: on SIGSEGV, SIGABRT, SIGBUS, SIGFPE or SIGILL a short
// report (program, signal, support address, backtrace) is written to a new file in the
// report folder, then the signal goes on to its previous handling, so the process still
// dies the way it would have (core dump included).
//
// Only one registration is active at a time; installing again replaces it.

using NVCrashReportHandle = int; // 0: nothing installed

// `reserved` must be null. `reportFolder` may be relative (to the working directory at
// the time of the crash); it is created when the report is written, its parent must
// exist. `enable` zero installs nothing. Returns the registration, 0 on failure.
NVCrashReportHandle NVCR_Install(void* reserved, const char* supportAddress, const char* title,
                                 const char* reportFolder, int enable);

// Moves the reports of registration `handle` to another folder, e.g. once the data
// folder is known. False when `handle` is not the active registration or the text is too
// long.
bool NVCR_SetReportFolder(NVCrashReportHandle handle, const char* reportFolder);

// Restores the handlers that were there before; a stale handle does nothing.
void NVCR_Uninstall(NVCrashReportHandle handle);
