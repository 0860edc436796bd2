// ClientProgram: where the program of a mail client is, for the task that starts it.
// Outlook Express and Windows Mail have one fixed place each and are started there
// whether or not they are installed (the shell then does nothing). Windows Live Mail was
// installed where its user chose: its App Paths entry names it, and the program-files
// folders are the fallback; when none holds it there is nothing to start.
#pragma once

#include "engine/MailStores.h"
#include "utils/String.h"

#include <string>
#include <vector>

// The places where Windows Live Mail's wlmail.exe may be, best first: the App Paths
// entries as given (the user's, then the machine's; surrounding quotes removed), then
// "Windows Live\Mail\wlmail.exe" in each program-files folder. Empty entries are left out.
std::vector<std::string> windowsLiveMailPlaces(const std::vector<std::string>& appPaths,
                                               const std::vector<std::string>& programFolders);

// The file to start for client, environment references expanded; false when there is
// none to start.
bool findClientProgram(MailClient client, TOVK_Utils::String& path);
