// Windows paths on the host's file system. The Windows drive C: is the Wine
// prefix's drive_c ($WINEPREFIX, else ~/.wine), so that the libraries and the
// Winelib test program share the same files; other drive letters are the
// prefix's dosdevices links. A path that starts with '/' is a host path
// already.
#pragma once

#include <string>

// The host folder of drive C:, or "" when neither $WINEPREFIX nor $HOME is set.
std::string host_drive_c();
// The host path of a Windows path ("C:\windows\system32\x.ini", back-slashes
// or slashes). Each component is matched without regard to case, as Windows
// does, when the exact spelling does not exist. False when the path names no
// place on the host (an unknown prefix).
bool host_path_of(const char *windows_path, std::string *host_path);
