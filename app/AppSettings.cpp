#include "app/AppSettings.h"

#include "utils/win32/RegistryContext.h"

using TOVK_Utils::RegistryContext;
using TOVK_Utils::RegistryKey;

namespace {

// "Software" is never created: a profile without it is not one to write settings into.
RegistryKey* openSettingsKey(RegistryContext& registry) {
    RegistryKey* software =
        registry.openKey(registry.currentUserRoot(), "Software", false, true, true);
    RegistryKey* maker = registry.openKey(software, "Klovinware", true, true, true);
    return registry.openKey(maker, "Klovin Attachment Extractor", true, true, true);
}

} // namespace

AppSettings::AppSettings()
    : mainWindowRect{100, 100, 800, 400}, createBackups(false), cutAttachments(false),
      extractFolder("c:\\") {}

void AppSettings::load() {
    RegistryContext& registry = RegistryContext::instance();
    try {
        RegistryKey* key = openSettingsKey(registry);
        registry.readString(key, "BackupFolder", backupFolder);
        registry.readString(key, "ExtractFolder", extractFolder);
        registry.readBool(key, "CreateBackups", createBackups);
        registry.readBool(key, "CutAttachments", cutAttachments);
    } catch (int) {
        // The fields not reached keep their values.
    }
    registry.closeAll();
}

void AppSettings::save() {
    RegistryContext& registry = RegistryContext::instance();
    try {
        RegistryKey* key = openSettingsKey(registry);
        registry.writeString(key, "BackupFolder", backupFolder);
        registry.writeString(key, "ExtractFolder", extractFolder);
        registry.writeBool(key, "CreateBackups", createBackups);
        registry.writeBool(key, "CutAttachments", cutAttachments);
    } catch (int) {
        // The choices of this run are lost; nothing is shown.
    }
    registry.closeAll();
}
