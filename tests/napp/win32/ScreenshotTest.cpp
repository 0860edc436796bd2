// A sample window with every control, captured from the screen into a PNG beside the
// test program, for people to look at; the test checks that something was drawn.
#include "NappTestUtil.h"

#include "napp/Button.h"
#include "napp/CheckBox.h"
#include "napp/Edit.h"
#include "napp/Font.h"
#include "napp/Hyperlink.h"
#include "napp/ListView.h"
#include "napp/ProgressBar.h"
#include "napp/RichEdit.h"
#include "napp/Static2.h"
#include "napp/TaskList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

using namespace NappTest;
using NApp::LayoutBox;
using TOVK_Utils::String;

namespace {

// PNG with uncompressed (stored) deflate blocks: no compression library needed.
uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    put32(out, crc32(typed.data(), typed.size()));
}

std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // no filter
        raw.insert(raw.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(n & 0xFF);
        z.push_back(n >> 8);
        z.push_back(~n & 0xFF);
        z.push_back((~n >> 8) & 0xFF);
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
        if (last)
            break;
    }
    put32(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

// The client area's pixels as they are on the screen, top row first, RGB. (Without a
// window manager on the test display there is no frame worth capturing.)
std::vector<uint8_t> capture(HWND window, int& width, int& height) {
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    width = r.right - r.left;
    height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    auto* pixels = static_cast<const uint8_t*>(bits);
    for (int i = 0; i < width * height; ++i) {
        rgb[i * 3] = pixels[i * 4 + 2];
        rgb[i * 3 + 1] = pixels[i * 4 + 1];
        rgb[i * 3 + 2] = pixels[i * 4];
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rgb;
}

std::string besideTheProgram(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    folder.resize(folder.find_last_of("\\/") + 1);
    return folder + name;
}

struct SampleWindow : Recorder {
    void createChildren() override {
        layout.setSpacing(6);
        layout.setDirection(LayoutBox::Right);
        addPanel(tasks);
        tasks.addTask(String("Extract Attachments"), 1);
        tasks.addTask(String("Select All"), 2);
        tasks.addTask(String("Select None"), 3);
        layout.addWindow(&tasks, 7, 170, -100);

        LayoutBox* column = layout.addColumn(7, -100, -100);
        addLabel(label, String("Mailboxes of the store:"));
        column->addWindow(&label, 7);
        addReport(list, 0, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT, true);
        list.appendColumn(String("Mailbox"), 180);
        list.appendColumn(String("Size"), 80);
        list.appendItem(String("Inbox"), 0);
        list.appendItem(String("Sent Items"), 1);
        list.setItemText(String("1,204 KB"), 0, 1);
        list.setItemText(String("88 KB"), 1, 1);
        list.setChecked(0, true);
        column->addWindow(&list, 7, -100, 110);
        LayoutBox* row = column->addRow(7, -100, 0);
        addEdit(edit);
        edit.setText(String("C:\\Attachments"));
        row->addWindow(&edit, 4, -70, 0);
        addButton(button, String("Browse..."));
        row->addWindow(&button, 4);
        addCheckBox(check, String("Cut attachments from the messages"));
        check.setChecked(true);
        column->addWindow(&check, 7);
        addProgressBar(bar, true);
        bar.setRange(0, 100);
        bar.setProgress(60);
        column->addWindow(&bar, 7, -100, 18);
        addRichEdit(rich);
        rich.appendText(String("Extracting attachments..."));
        rich.appendText(String("3 attachments saved."));
        column->addWindow(&rich, 7, -100, 50);
        addLink(link, String("klovinware.example"), false);
        column->addWindow(&link, 7);
    }
    NApp::TaskList tasks;
    NApp::Static2 label;
    NApp::Report list;
    NApp::Edit edit;
    NApp::Button button;
    NApp::CheckBox check;
    NApp::ProgressBar bar;
    NApp::RichEdit rich;
    NApp::KlovinwareHyperlink link;
};

} // namespace

TEST(Screenshot, SampleWindowWithEveryControl) {
    NApp::Font font("Verdana", 8);
    NApp::ChildManager top;
    top.childFont = &font;
    SampleWindow window;
    ASSERT_TRUE(top.createWindow(window, String("Klovin Attachment Extractor - sample"), nullptr,
                                 nullptr, false, false, false, true));
    window.setPosition(20, 20, 640, 420, SWP_NOZORDER, nullptr);
    window.show();
    pumpPending();
    RedrawWindow(window.handle, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pumpUntil([] { return false; }, 500); // let the display catch up; not a measurement

    // Every control got a place inside the window.
    NApp::Window* controls[] = {&window.tasks, &window.label,  &window.list,
                                &window.edit,  &window.button, &window.check,
                                &window.bar,   &window.rich,   &window.link};
    for (NApp::Window* control : controls) {
        control->refreshGeometry();
        EXPECT_GT(control->width, 0);
        EXPECT_GT(control->height, 0);
        EXPECT_LE(control->x + control->width, window.clientWidth);
        EXPECT_LE(control->y + control->height, window.clientHeight);
    }

    int width = 0, height = 0;
    std::vector<uint8_t> rgb = capture(window.handle, width, height);
    ASSERT_GT(width, 0);
    std::set<uint32_t> colours;
    for (size_t i = 0; i < rgb.size(); i += 3)
        colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    EXPECT_GT(colours.size(), 4u); // more than a blank rectangle

    std::vector<uint8_t> png = encodePng(width, height, rgb);
    std::string path = besideTheProgram("napp-sample-window.png");
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fwrite(png.data(), 1, png.size(), file), png.size());
    fclose(file);
    window.destroy();
}
