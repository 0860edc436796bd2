// Where the mail clients keep their mail, read from their registry entries under
// HKEY_CURRENT_USER. Each look-up leaves its field as it was when any key or value is
// missing or is not text, and closes every key it opened.
#pragma once

class AppSettings;

// Outlook Express: the "Store Root" of the first identity that the registry enumerates
// under "Identities" (the default identity is not consulted).
void findOutlookExpressStoreRoot(AppSettings& settings);
// Windows Mail: the "Store Root" of Software\Microsoft\Windows Mail.
void findWindowsMailStoreRoot(AppSettings& settings);
