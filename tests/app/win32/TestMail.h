// The small messages and file reads the window tests that run whole jobs share.
#pragma once

#include <cstdio>
#include <string>

namespace AppTest {

// A message of one text part and, when name is given, one base64 attachment.
inline std::string messageWith(const char* name, const char* base64) {
    std::string text = "From: a@example.com\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n";
    if (name) {
        text += std::string("--b\r\nContent-Type: application/octet-stream; name=\"") + name +
                "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64 + "\r\n";
    }
    return text + "--b--\r\n";
}

// The file's bytes; empty when it cannot be read.
inline std::string fileText(const std::string& path) {
    std::string text;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        fclose(f);
    }
    return text;
}

} // namespace AppTest
