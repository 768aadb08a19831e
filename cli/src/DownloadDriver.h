#pragma once

struct DownloadOptions;

// Runs a download under a QCoreApplication: opens the link, drives the communications engine and
// the session browser from a 100 ms timer until the download has ended. Returns the exit status.
int RunDownloadSession(const DownloadOptions& options);
