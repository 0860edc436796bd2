#include "app/DesktopView.h"

#include "app/AppData.h"
#include "napp/App.h"
#include "napp/Question.h"
#include "utils/Charset.h"

using NApp::ChildManager;
using NApp::Question;
using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

// The job's boxes go under the progress window; the backup failure box has no owner
// and goes under the application's top-level manager.
ChildManager& ownerOf(AppData& data, ViewOwner owner) {
    if (owner == ViewOwner::ProgressWindow)
        return data.progressWindow;
    return NApp::App::current()->topLevel;
}

class DesktopQuestion : public ViewQuestion {
public:
    explicit DesktopQuestion(AppData& data) : data_(data) {}

    int showModal(ViewOwner owner, const QuestionText& text) override {
        return question_.showModal(ownerOf(data_, owner), String(text.title), String(*text.message),
                                   text.caption1, text.caption2, text.caption3, text.caption4,
                                   text.checkText, text.sizeCode);
    }
    bool checkState() const override { return question_.checkState(); }

private:
    AppData& data_;
    Question question_;
};

} // namespace

const String& DesktopView::extractFolder() {
    return data_.settings.extractFolder;
}
const String& DesktopView::backupFolder() {
    return data_.settings.backupFolder;
}
bool DesktopView::createBackups() {
    return data_.settings.createBackups;
}
bool DesktopView::cutAttachments() {
    return data_.settings.cutAttachments;
}

const String& DesktopView::outlookExpressStoreRoot() {
    return data_.settings.outlookExpressStoreRoot;
}
bool DesktopView::listShowsEmlFolders() {
    return data_.listShowsEmlFolders;
}
MailboxList& DesktopView::mailboxList() {
    return data_.mainWindow.mailboxList;
}

// "pdf doc docx", ".PDF, .Doc": lower case, without dots.
const ExtractChoices& DesktopView::choices() {
    const AppSettings& settings = data_.settings;
    choices_ = ExtractChoices();
    choices_.writeList = settings.writeList; // attachments.csv in the destination folder
    choices_.folderPerMailbox = settings.folderPerMailbox;
    choices_.skipInlineImages = settings.skipInlineImages;
    choices_.minSize = int64_t(settings.minSizeKB) * 1024;
    choices_.leaveNote = settings.leaveNote && settings.cutAttachments;
    String types;
    types.toNarrow(settings.onlyTypes, TOVK_Utils::Utf8CodePage);
    choices_.onlyTypes = ExtractChoices::fileTypesOf(types.c_str());
    return choices_;
}

int DesktopView::ask(ViewOwner owner, const QuestionText& text) {
    DesktopQuestion question(data_);
    return question.showModal(owner, text);
}

std::unique_ptr<ViewQuestion> DesktopView::newQuestion() {
    return std::make_unique<DesktopQuestion>(data_);
}

void DesktopView::setStatusText(const Block& text) {
    data_.progressWindow.statusLine.setText(String(text));
}

void DesktopView::postStatusText(const Block& text) {
    data_.progressWindow.statusLine.postTextCopy(text);
}

void DesktopView::postCounterText(ViewCounter counter, const String& text) {
    data_.progressWindow.values[static_cast<int>(counter)].postTextCopy(text);
}

void DesktopView::setProgressRange(int low, int high) {
    data_.progressWindow.progressBar.setRange(low, high);
}

void DesktopView::setProgress(int value) {
    data_.progressWindow.progressBar.setProgress(value);
}

void DesktopView::enablePauseButton(bool enable) {
    data_.progressWindow.pauseButton.enable(enable);
}

// The job is over; the progress window stays until the user presses "Done".
void DesktopView::jobFinished(const JobCounts&) {
    data_.progressWindow.showDone();
}

void DesktopView::postClose() {
    data_.progressWindow.postClose();
}
