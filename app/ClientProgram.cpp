#include "app/ClientProgram.h"

#include "utils/FileSystem.h"
#include "utils/win32/RegistryContext.h"

using TOVK_Utils::Block;
using TOVK_Utils::RegistryContext;
using TOVK_Utils::RegistryKey;
using TOVK_Utils::String;

namespace {

std::string unquoted(std::string text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// The default value of the App Paths entry of wlmail.exe below root; empty when missing.
std::string appPathBelow(RegistryKey* (RegistryContext::*root)()) {
    RegistryContext& registry = RegistryContext::instance();
    String value;
    registry.attempt([&] {
        RegistryKey* key = (registry.*root)();
        for (const char* name :
             {"Software", "Microsoft", "Windows", "CurrentVersion", "App Paths", "wlmail.exe"})
            key = registry.openKeyForRead(key, name);
        registry.readString(key, nullptr, value);
    });
    return std::string(value.c_str(), size_t(value.length()));
}

std::string expanded(const char* text) {
    String out;
    out.expandEnvironment(Block(text));
    // An unset variable stays as written, which names no folder.
    if (out.find("%", 0) >= 0)
        return std::string();
    return std::string(out.c_str(), size_t(out.length()));
}

bool findWindowsLiveMail(String& path) {
    const std::vector<std::string> appPaths = {appPathBelow(&RegistryContext::currentUserRoot),
                                               appPathBelow(&RegistryContext::localMachineRoot)};
    // A 32-bit Windows Live Mail on 64-bit Windows lies in "Program Files (x86)", which a
    // 64-bit program sees as ProgramFiles(x86) and a 32-bit one as ProgramFiles.
    const std::vector<std::string> folders = {
        expanded("%ProgramFiles%"), expanded("%ProgramFiles(x86)%"), expanded("%ProgramW6432%")};
    for (const std::string& place : windowsLiveMailPlaces(appPaths, folders)) {
        String candidate(Block(place.c_str()));
        if (TOVK_Utils::exists(candidate) && !TOVK_Utils::isDirectory(candidate)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<std::string> windowsLiveMailPlaces(const std::vector<std::string>& appPaths,
                                               const std::vector<std::string>& programFolders) {
    std::vector<std::string> places;
    for (const std::string& given : appPaths) {
        std::string place = unquoted(given);
        if (!place.empty())
            places.push_back(place);
    }
    for (std::string folder : programFolders) {
        if (folder.empty())
            continue;
        if (folder.back() != '\\')
            folder += '\\';
        places.push_back(folder + "Windows Live\\Mail\\wlmail.exe");
    }
    return places;
}

bool findClientProgram(MailClient client, String& path) {
    switch (client) {
    case MailClient::WindowsLiveMail:
        return findWindowsLiveMail(path);
    case MailClient::WindowsMail:
        path.expandEnvironment(Block("%ProgramFiles%\\Windows Mail\\WinMail.exe"));
        return true;
    case MailClient::OutlookExpress:
        break;
    }
    path.expandEnvironment(Block("%ProgramFiles%\\outlook express\\msimn.exe"));
    return true;
}
