#pragma once

struct DownloadOptions;

// Runs a download under a QCoreApplication: opens the link and lets the download core read what
// the plan asks for, on its 100 ms tick, until the download has ended. Returns the exit status.
int RunDownloadSession(const DownloadOptions& options);
