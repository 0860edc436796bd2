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

// Each persisted value under its registry name, in the order it is read and written: the
// four of the first versions, then the later ones apart (see load), their one text last,
// since a missing text ends the reading.
template <class Visit> void firstValues(AppSettings& s, Visit&& visit) {
    visit("BackupFolder", s.backupFolder);
    visit("ExtractFolder", s.extractFolder);
    visit("CreateBackups", s.createBackups);
    visit("CutAttachments", s.cutAttachments);
}

template <class Visit> void laterValues(AppSettings& s, Visit&& visit) {
    visit("WriteAttachmentList", s.writeList);
    visit("FolderPerMailbox", s.folderPerMailbox);
    visit("SkipInlineImages", s.skipInlineImages);
    visit("MinimumSizeKB", s.minSizeKB);
    visit("LeaveNote", s.leaveNote);
    visit("OnlyFileTypes", s.onlyTypes);
}

struct ValueReader {
    RegistryContext& registry;
    RegistryKey* key;
    void operator()(const char* name, TOVK_Utils::String& value) {
        registry.readString(key, name, value);
    }
    void operator()(const char* name, bool& value) { registry.readBool(key, name, value); }
    void operator()(const char* name, uint32_t& value) { registry.readDword(key, name, value); }
};

struct ValueWriter {
    RegistryContext& registry;
    RegistryKey* key;
    void operator()(const char* name, const TOVK_Utils::String& value) {
        registry.writeString(key, name, value);
    }
    void operator()(const char* name, bool value) { registry.writeBool(key, name, value); }
    void operator()(const char* name, uint32_t value) { registry.writeDword(key, name, value); }
};

} // namespace

AppSettings::AppSettings()
    : mainWindowRect{100, 100, 800, 400}, createBackups(false), cutAttachments(false),
      extractFolder("c:\\") {}

void AppSettings::load() {
    RegistryContext& registry = RegistryContext::instance();
    // A load that ends early leaves the fields it did not reach as they were.
    registry.attempt([&] { firstValues(*this, ValueReader{registry, openSettingsKey(registry)}); });
    registry.attempt([&] { laterValues(*this, ValueReader{registry, openSettingsKey(registry)}); });
}

void AppSettings::save() {
    RegistryContext& registry = RegistryContext::instance();
    // A save that ends early loses the choices of this run; nothing is shown.
    registry.attempt([&] {
        ValueWriter write{registry, openSettingsKey(registry)};
        firstValues(*this, write);
        laterValues(*this, write);
    });
}
