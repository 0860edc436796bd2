// What to take: the pictures a message's text shows, the file types and the smallest
// size the user wants. What the choices leave is neither saved nor cut, only counted.
#include "JobFixture.h"

#include <set>

namespace {

std::string part(const std::string& headers, const std::string& body) {
    return "--m\r\n" + headers + "\r\n\r\n" + body + "\r\n";
}

std::string named(const std::string& type, const std::string& name, const std::string& more = "") {
    return "Content-Type: " + type + "; name=\"" + name + "\"\r\n" + more +
           "Content-Transfer-Encoding: base64";
}

std::string message(const std::vector<std::string>& parts) {
    std::string m = "From: a@example.org\r\nSubject: take\r\n"
                    "Content-Type: multipart/related; boundary=\"m\"\r\n\r\n";
    for (const auto& p : parts)
        m += p;
    return m + "--m--\r\n";
}

const std::string pixels = binary(2000, 31);
std::string picture(const std::string& name, const std::string& more) {
    return part(named("image/png", name, more), base64(pixels));
}
std::string html(const std::string& text, const std::string& encoding = "7bit") {
    return part("Content-Type: text/html\r\nContent-Transfer-Encoding: " + encoding, text);
}
const std::string pdf = part(named("application/pdf", "report.PDF"), base64(binary(5000, 32)));

struct TakeCase {
    const char* what;
    ExtractChoices choices;
    std::string message;
    std::set<std::string> saved;
};

ExtractChoices skipPictures() {
    ExtractChoices c;
    c.skipInlineImages = true;
    return c;
}
ExtractChoices only(std::vector<std::string> types) {
    ExtractChoices c;
    c.onlyTypes = std::move(types);
    return c;
}
ExtractChoices atLeast(int64_t bytes) {
    ExtractChoices c;
    c.minSize = bytes;
    return c;
}

std::vector<TakeCase> takeCases() {
    const std::string logo = "Content-ID: <logo.1@Example.COM>\r\n";
    return {
        {"without choices every picture is taken",
         {},
         message({html("<img src=\"cid:logo.1@example.com\">"), picture("logo.png", logo), pdf}),
         {"logo.png", "report.PDF"}},
        {"a cid: URL finds its Content-ID, the domain in any case",
         skipPictures(),
         message({html("<img src=\"cid:logo.1@example.com\">"), picture("logo.png", logo), pdf}),
         {"report.PDF"}},
        {"the local part's case counts",
         skipPictures(),
         message({html("<img src='cid:LOGO.1@Example.COM'>"), picture("logo.png", logo)}),
         {"logo.png"}},
        {"%hh escapes are decoded, and a quoted-printable HTML part is read decoded",
         skipPictures(),
         message({html("<img src=3D\"cid:logo%2E1=\r\n@Example.COM\">", "quoted-printable"),
                  picture("logo.png", logo)}),
         {}},
        {"inline with a Content-ID is shown, whoever refers to it",
         skipPictures(),
         message({picture("a.png", "Content-ID: <a@x>\r\nContent-Disposition: inline\r\n")}),
         {}},
        {"inline without a Content-ID is an attachment",
         skipPictures(),
         message({picture("a.png", "Content-Disposition: inline\r\n")}),
         {"a.png"}},
        {"a picture no HTML refers to is an attachment",
         skipPictures(),
         message({html("<p>no pictures</p>"), picture("logo.png", logo)}),
         {"logo.png"}},
        {"a cid: in plain text shows nothing",
         skipPictures(),
         message({part("Content-Type: text/plain", "see cid:logo.1@example.com"),
                  picture("logo.png", logo)}),
         {"logo.png"}},
        {"only the types asked for, in any case",
         only({"pdf", "txt"}),
         message({pdf, picture("logo.png", logo),
                  part(named("application/octet-stream", "README"), base64("x"))}),
         {"report.PDF"}},
        {"sizes below the smallest are skipped, decoded",
         atLeast(2000),
         message({picture("exact.png", ""),
                  part(named("image/png", "small.png"), base64(binary(1999, 33)))}),
         {"exact.png"}},
    };
}

} // namespace

TEST_F(JobTest, TheChoicesOfWhatToTakeLeaveTheRestInTheMessage) {
    view.emlFolders = true;
    view.cut = true;
    const auto cases = takeCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        const TakeCase& c = cases[i];
        const fs::path folder = root / "mail" / std::to_string(i);
        fs::create_directories(folder);
        writeFile(folder / "m.eml", c.message);
        fs::remove_all(root / "out");
        view.list.rows.assign(1, {folder.string(), true});
        view.chosen = c.choices;
        view.counters.clear();
        runJob();

        std::set<std::string> saved;
        for (const auto& [name, content] : folderFiles(root / "out"))
            saved.insert(name);
        EXPECT_EQ(saved, c.saved) << c.what;
        // What was saved was cut; each part skipped is still in the message, and counted.
        const std::string after = readFile(folder / "m.eml");
        int named = 0, skipped = 0;
        for (size_t at = c.message.find("name=\""); at != std::string::npos;
             at = c.message.find("name=\"", at + 1)) {
            ++named;
            const size_t end = c.message.find('"', at + 6);
            const std::string name = c.message.substr(at + 6, end - at - 6);
            const bool stayed = after.find("name=\"" + name + "\"") != std::string::npos;
            EXPECT_EQ(stayed, !c.saved.count(name)) << c.what << ": " << name;
            skipped += stayed;
        }
        EXPECT_EQ(job.counts().attachments + job.counts().skipped, named) << c.what;
        EXPECT_EQ(job.counts().skipped, skipped) << c.what;
        EXPECT_EQ(view.counters[ViewCounter::Skipped], skipped ? std::to_string(skipped) : "")
            << c.what;
    }
}

// The types box as users fill it in: any of the usual separators, dots and capitals.
TEST(FileTypesOf, ReadsAListAsUsersWriteIt) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {}},
        {"pdf doc docx xls", {"pdf", "doc", "docx", "xls"}},
        {"PDF, .Docx;xls", {"pdf", "docx", "xls"}},
        {"  ,;.. ", {}},
        {"tar.gz *.zip", {"gz", "zip"}},
    };
    for (const auto& [list, types] : cases)
        EXPECT_EQ(ExtractChoices::fileTypesOf(list), types) << list;
}
