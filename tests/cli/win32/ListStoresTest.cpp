// --list without a folder on Windows: the stores the registry names in this prefix, each
// under its client's line, in its own form (mailboxes with sizes, or message folders).
#include "../RunProgram.h"
#include "tests/app/RegistryScratch.h"
#include "tests/engine/JobFixture.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

namespace {

const std::string identity = "Identities\\{E2E0C11E-0000-4000-8000-000000000001}";
const std::string liveMail = "Software\\Microsoft\\Windows Live Mail";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ListStores : public ::testing::Test {
protected:
    void SetUp() override {
        root = TOVK_Tests::testFolder("klovin-cli-list-stores-");
        fs::remove_all(root);
        fs::create_directories(root / "logs");
        TOVK_Tests::deleteTree("Identities");
        hadLive = TOVK_Tests::keyExists(liveMail);
        TOVK_Tests::deleteValue(liveMail, "Store Root");
        // The default folder of Windows Live Mail must not be found in the prefix.
        SetEnvironmentVariableA("LOCALAPPDATA", (root / "local").string().c_str());
    }
    void TearDown() override {
        TOVK_Tests::deleteTree("Identities");
        if (hadLive)
            TOVK_Tests::deleteValue(liveMail, "Store Root");
        else
            TOVK_Tests::deleteTree(liveMail);
        fs::remove_all(root);
    }

    ProgramRun list() { return runProgram({"--list"}, root / "logs"); }

    fs::path root;
    bool hadLive = false;
};

TEST_F(ListStores, NoStoreSaysSo) {
    const ProgramRun r = list();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "No mail store was found.")) << r.out;
}

TEST_F(ListStores, EachStoreUnderItsClient) {
    fs::create_directories(root / "oe");
    writeFile(root / "oe" / "Inbox.dbx", std::string(3 * 1024, 'x'));
    fs::create_directories(root / "live" / "Inbox");
    writeFile(root / "live" / "Inbox" / "a.eml", makeMessage("a", {}));
    TOVK_Tests::setText(identity + "\\Software\\Microsoft\\Outlook Express\\5.0", "Store Root",
                        (root / "oe").string());
    TOVK_Tests::setText(liveMail, "Store Root", (root / "live").string());
    const ProgramRun r = list();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Outlook Express store: " + (root / "oe").string() + "\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "  Inbox  3 KB\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "Windows Live Mail store: " + (root / "live").string() + "\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "  " + (root / "live" / "Inbox").string() + "\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "Windows Mail store")) << r.out;
}

} // namespace
