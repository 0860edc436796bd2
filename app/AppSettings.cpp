#include "app/AppSettings.h"

#include "utils/win32/RegistryContext.h"

using TOVK_Utils::IfMissing;
using TOVK_Utils::KeyAccess;
using TOVK_Utils::RegistryContext;
using TOVK_Utils::RegistryKey;

namespace {

// "Software" is never created: a profile without it is not one to write settings into.
RegistryKey* openSettingsKey(RegistryContext& registry) {
    RegistryKey* software =
        registry.openKey(registry.currentUserRoot(), "Software", KeyAccess::ReadWrite);
    RegistryKey* maker =
        registry.openKey(software, "Klovinware", KeyAccess::ReadWrite, IfMissing::Create);
    return registry.openKey(maker, "Klovin Attachment Extractor", KeyAccess::ReadWrite,
                            IfMissing::Create);
}

} // namespace

AppSettings::AppSettings()
    : mainWindowRect{100, 100, 800, 400}, createBackups(false), cutAttachments(false),
      extractFolder("c:\\") {}

void AppSettings::load() {
    RegistryContext& registry = RegistryContext::instance();
    // A load that ends early leaves the fields it did not reach as they were.
    registry.attempt([&] {
        RegistryKey* key = openSettingsKey(registry);
        registry.readString(key, "BackupFolder", backupFolder);
        registry.readString(key, "ExtractFolder", extractFolder);
        registry.readBool(key, "CreateBackups", createBackups);
        registry.readBool(key, "CutAttachments", cutAttachments);
    });
    registry.attempt([&] {
        RegistryKey* key = openSettingsKey(registry);
        registry.readBool(key, "WriteAttachmentList", writeList);
        registry.readBool(key, "FolderPerMailbox", folderPerMailbox);
        registry.readBool(key, "SkipInlineImages", skipInlineImages);
        registry.readDword(key, "MinimumSizeKB", minSizeKB);
        registry.readBool(key, "LeaveNote", leaveNote);
        registry.readString(key, "OnlyFileTypes", onlyTypes);
    });
}

void AppSettings::save() {
    RegistryContext& registry = RegistryContext::instance();
    // A save that ends early loses the choices of this run; nothing is shown.
    registry.attempt([&] {
        RegistryKey* key = openSettingsKey(registry);
        registry.writeString(key, "BackupFolder", backupFolder);
        registry.writeString(key, "ExtractFolder", extractFolder);
        registry.writeBool(key, "CreateBackups", createBackups);
        registry.writeBool(key, "CutAttachments", cutAttachments);
        registry.writeBool(key, "SkipInlineImages", skipInlineImages);
        registry.writeString(key, "OnlyFileTypes", onlyTypes);
        registry.writeDword(key, "MinimumSizeKB", minSizeKB);
        registry.writeBool(key, "LeaveNote", leaveNote);
        registry.writeBool(key, "WriteAttachmentList", writeList);
        registry.writeBool(key, "FolderPerMailbox", folderPerMailbox);
    });
}
