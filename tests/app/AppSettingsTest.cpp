#include "app/AppSettings.h"

#include "utils/win32/RegistryContext.h"

#include "RegistryScratch.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

const std::string makerKey = "Software\\Klovinware";
const std::string settingsKey = "Software\\Klovinware\\Klovin Attachment Extractor";

std::string textOf(const String& s) {
    String narrow;
    narrow.toNarrow(s);
    return std::string(narrow.c_str(), narrow.length());
}

// Each test starts as on a machine where the program never ran, and leaves it so. Every
// load and save must leave no key open.
class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { deleteTree(makerKey); }
    void TearDown() override {
        EXPECT_EQ(RegistryContext::instance().openKeyCount(), 0u);
        deleteTree(makerKey);
    }

    static void storeAll() {
        setText(settingsKey, "BackupFolder", "D:\\Backups");
        setText(settingsKey, "ExtractFolder", "E:\\Attachments\\");
        setNumber(settingsKey, "CreateBackups", 1);
        setNumber(settingsKey, "CutAttachments", 1);
    }
    // backupFolder, extractFolder, createBackups, cutAttachments in one line.
    static std::string fields(const AppSettings& s) {
        return textOf(s.backupFolder) + "|" + textOf(s.extractFolder) + "|" +
               (s.createBackups ? "1" : "0") + (s.cutAttachments ? "1" : "0");
    }
};

TEST_F(AppSettingsTest, FirstStartCreatesTheKeysAndSavesAllFourValues) {
    AppSettings settings;
    settings.load();
    EXPECT_TRUE(keyExists(settingsKey));
    EXPECT_EQ(fields(settings), "|c:\\|00");

    settings.save();
    EXPECT_EQ(queryValue(settingsKey, "BackupFolder").bytes, std::string(1, '\0'));
    EXPECT_EQ(queryValue(settingsKey, "ExtractFolder").bytes, std::string("c:\\", 4));
    for (const char* name : {"BackupFolder", "ExtractFolder"})
        EXPECT_EQ(queryValue(settingsKey, name).type, DWORD{REG_SZ}) << name;
    for (const char* name : {"CreateBackups", "CutAttachments"}) {
        EXPECT_EQ(queryValue(settingsKey, name).type, DWORD{REG_DWORD}) << name;
        EXPECT_EQ(queryValue(settingsKey, name).bytes, std::string(4, '\0')) << name;
    }
    AppSettings again;
    again.backupFolder = String("changed");
    again.load();
    EXPECT_EQ(fields(again), "|c:\\|00");
}

TEST_F(AppSettingsTest, SavedChoicesComeBack) {
    AppSettings settings;
    settings.backupFolder = String("D:\\Mail Backups");
    settings.extractFolder.setWide(true); // as a window's text may be
    settings.extractFolder.assign(u"E:\\Saved\\", 9);
    ASSERT_TRUE(settings.extractFolder.isWide());
    settings.createBackups = true;
    settings.cutAttachments = true;
    settings.save();

    AppSettings loaded;
    loaded.load();
    EXPECT_EQ(fields(loaded), "D:\\Mail Backups|E:\\Saved\\|11");
    loaded.createBackups = false;
    loaded.save();
    AppSettings flipped;
    flipped.createBackups = true;
    flipped.load();
    EXPECT_EQ(fields(flipped), "D:\\Mail Backups|E:\\Saved\\|01");
}

// The texts are read first and a failed one ends the load: what comes after it keeps
// its default, however valid it is.
TEST_F(AppSettingsTest, AMissingTextEndsTheLoad) {
    storeAll();
    deleteValue(settingsKey, "BackupFolder");
    AppSettings withoutBackup;
    withoutBackup.load();
    EXPECT_EQ(fields(withoutBackup), "|c:\\|00");

    storeAll();
    deleteValue(settingsKey, "ExtractFolder");
    AppSettings withoutExtract;
    withoutExtract.load();
    EXPECT_EQ(fields(withoutExtract), "D:\\Backups|c:\\|00");

    storeAll();
    setNumber(settingsKey, "ExtractFolder", 3);
    AppSettings numberFolder;
    numberFolder.load();
    EXPECT_EQ(fields(numberFolder), "D:\\Backups|c:\\|00");
}

TEST_F(AppSettingsTest, FlagsAreTakenOnlyFromNumbersAndTrueOnlyForOne) {
    storeAll();
    setNumber(settingsKey, "CreateBackups", 2);
    setText(settingsKey, "CutAttachments", "1");
    AppSettings settings;
    settings.createBackups = true;
    settings.cutAttachments = true; // a text value leaves the flag as it is
    settings.load();
    EXPECT_EQ(fields(settings), "D:\\Backups|E:\\Attachments\\|01");
    AppSettings fresh;
    fresh.load();
    EXPECT_EQ(fields(fresh), "D:\\Backups|E:\\Attachments\\|00");
}

TEST_F(AppSettingsTest, ExpandableFolderIsExpandedAndSavedPlain) {
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_SETTINGS_HOME", "C:\\Users\\Ann"));
    storeAll();
    setText(settingsKey, "ExtractFolder", "%TOVK_SETTINGS_HOME%\\Attachments", REG_EXPAND_SZ);
    AppSettings settings;
    settings.load();
    EXPECT_EQ(fields(settings), "D:\\Backups|C:\\Users\\Ann\\Attachments|11");

    settings.save();
    StoredValue stored = queryValue(settingsKey, "ExtractFolder");
    EXPECT_EQ(stored.type, DWORD{REG_SZ});
    EXPECT_EQ(stored.bytes, std::string("C:\\Users\\Ann\\Attachments", 25));
    SetEnvironmentVariableA("TOVK_SETTINGS_HOME", nullptr);
}

} // namespace

// The choices of what to take and of the note live beside the four, and are read apart
// from them: missing (a first start after an update) they keep their defaults and take
// none of the four along.
TEST_F(AppSettingsTest, TakeChoicesAndTheNoteComeBackApartFromTheFour) {
    storeAll();
    AppSettings older;
    older.load();
    EXPECT_EQ(fields(older), "D:\\Backups|E:\\Attachments\\|11");
    EXPECT_FALSE(older.skipInlineImages || older.leaveNote);
    EXPECT_EQ(older.minSizeKB, 0u);
    EXPECT_EQ(textOf(older.onlyTypes), "");

    older.skipInlineImages = true;
    older.leaveNote = true;
    older.minSizeKB = 12;
    older.onlyTypes = String("pdf doc docx");
    older.save();
    EXPECT_EQ(queryValue(settingsKey, "MinimumSizeKB").type, DWORD{REG_DWORD});
    EXPECT_EQ(queryValue(settingsKey, "OnlyFileTypes").type, DWORD{REG_SZ});
    AppSettings loaded;
    loaded.load();
    EXPECT_TRUE(loaded.skipInlineImages && loaded.leaveNote);
    EXPECT_EQ(loaded.minSizeKB, 12u);
    EXPECT_EQ(textOf(loaded.onlyTypes), "pdf doc docx");
}

// The list and the folder per mailbox are remembered beside the four values; a profile
// from before them loads them as off.
TEST_F(AppSettingsTest, ListAndFolderChoicesComeBackAndDefaultToOff) {
    storeAll();
    AppSettings old;
    old.load();
    EXPECT_FALSE(old.writeList);
    EXPECT_FALSE(old.folderPerMailbox);

    old.writeList = true;
    old.folderPerMailbox = true;
    old.save();
    for (const char* name : {"WriteAttachmentList", "FolderPerMailbox"}) {
        EXPECT_EQ(queryValue(settingsKey, name).type, DWORD{REG_DWORD}) << name;
        EXPECT_EQ(queryValue(settingsKey, name).bytes, std::string("\1\0\0\0", 4)) << name;
    }
    AppSettings loaded;
    loaded.load();
    EXPECT_TRUE(loaded.writeList);
    EXPECT_TRUE(loaded.folderPerMailbox);
    EXPECT_EQ(fields(loaded), "D:\\Backups|E:\\Attachments\\|11");
}
