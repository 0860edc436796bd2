// String: a Block that always keeps a terminating zero character after its text, so
// its storage can be handed to system calls directly. 8-bit text is in the system's
// ANSI code page (UTF-8 on POSIX); wide text is UTF-16.
#pragma once

#include "Block.h"

#include <cstdint>
#include <initializer_list>

namespace TOVK_Utils {

// Code page argument meaning "the system's ANSI code page".
constexpr unsigned AnsiCodePage = 0;

class String : public Block {
public:
    String();
    // Wraps a zero-terminated 8-bit constant without copying and without owning it.
    String(const char* text);
    // A copy of the block's characters, with the block's width.
    explicit String(const Block& block);
    String(const String& other);
    String(String&& other) noexcept;
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;
    ~String() override;

    void setSize(int32_t n) override;
    void resize(int32_t n) override;
    void allocate(int32_t n) override;
    void allocateAgain(int32_t n) override;
    void clear() override;
    void release() override;
    int32_t byteSize() const override;
    int32_t length() const override;
    String toString() const override;
    void takeFrom(Block& block) override; // copy text and width, then release block's storage
    virtual void takeFrom(String& other); // move everything; other left empty

    // The zero-terminated characters (8-bit or UTF-16 per the width); an empty text when
    // the string has no storage.
    const char* c_str() const;
    const char16_t* w_str() const;

    void setDecimal(int64_t n); // decimal digits, a minus sign for negative values
    void expandEnvironment(const Block& text);
    // What every line break (CR LF, a lone CR, a lone LF) becomes.
    enum class LineBreak { Removed, Cr, Lf, CrLf };
    void normaliseLineBreaks(LineBreak lineBreak);
    void toNarrow(const Block& block, unsigned codePage = AnsiCodePage);
    void toWide(const Block& block, unsigned codePage = AnsiCodePage);
    // The C library's formatted printing into this string, retried in 4,096-character steps.
    void printFormatted(const char* pattern, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

private:
    void measure() const;
    void terminate();
    mutable int32_t length_ = 0;
};

// A zero-terminated UTF-16 copy of a text for a wide system call, converted with its
// true length; the text's own storage when it is already wide.
class WideForSystem {
public:
    explicit WideForSystem(const Block& text);
    const char16_t* get() const { return converted_ ? copy_.w_str() : chars_; }
    int32_t length() const { return length_; }

private:
    String copy_;
    const char16_t* chars_ = nullptr; // the caller's own wide text when no copy was needed
    bool converted_ = false;
    int32_t length_ = 0;
};
inline WideForSystem wideForSystem(const Block& text) {
    return WideForSystem(text);
}

// One argument of format: a Block or String for "%s", an integer for "%d".
class FormatArg {
public:
    FormatArg(const Block& text) : text_(&text) {}
    FormatArg(int value) : number_(value) {}
    // A bool is never an argument: in a call written for the form that took a width flag
    // it would be printed in place of the first value.
    FormatArg(bool) = delete;
    FormatArg(long value) : number_(value) {}
    FormatArg(long long value) : number_(value) {}
    FormatArg(unsigned value) : number_(value) {}
    FormatArg(unsigned long value) : number_(static_cast<int64_t>(value)) {}
    FormatArg(unsigned long long value) : number_(static_cast<int64_t>(value)) {}
    const Block* text() const { return text_; }
    int64_t number() const { return number_; }

private:
    const Block* text_ = nullptr;
    int64_t number_ = 0;
};

// The system's own formatter: "%s", "%d" and "%%" (letters in either case); any
// other directive is dropped with its percent sign. Each call has its own scratch.
// The text takes the width given; format below passes the target's own.
void formatArgs(String& target, const char* pattern, Width width,
                std::initializer_list<FormatArg> args);

// Replaces target's text with the formatted one, in target's width: a wide target keeps
// wide arguments whole, an 8-bit one gets them through the code page.
template <class... Args> void format(String& target, const char* pattern, const Args&... args) {
    formatArgs(target, pattern, target.isWide() ? Width::Wide : Width::Narrow,
               {FormatArg(args)...});
}

} // namespace TOVK_Utils
