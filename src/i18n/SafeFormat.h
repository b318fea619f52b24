#pragma once
// Filling texts that come from language files. Such a text is data, never a
// printf format: SafeFormat understands %s %d %i %u %c %x %X %% with the flags
// "-" and "0" and a width (as in %02d or %04x), takes its arguments from a typed
// list, and never reads past it. A specifier without an argument, or one it does
// not know (such as %n), is copied as it stands; surplus arguments are ignored;
// an argument of the wrong kind is shown in the most readable way (a number for
// %s, the text for %d).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class FormatArg {
  public:
    enum class Kind { Signed, Unsigned, Text, Char };

    FormatArg(int v) : kind_(Kind::Signed), i_(v) {}
    FormatArg(long v) : kind_(Kind::Signed), i_(v) {}
    FormatArg(long long v) : kind_(Kind::Signed), i_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Unsigned), u_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::Unsigned), u_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::Unsigned), u_(v) {}
    FormatArg(char16_t c) : kind_(Kind::Char), u_(c) {}
    FormatArg(std::u16string_view s) : kind_(Kind::Text), s_(s) {}
    FormatArg(const std::u16string& s) : kind_(Kind::Text), s_(s) {}
    FormatArg(const char16_t* s) : kind_(Kind::Text), s_(s ? s : u"") {}

    Kind kind() const { return kind_; }
    long long AsSigned() const { return kind_ == Kind::Signed ? i_ : static_cast<long long>(u_); }
    unsigned long long AsUnsigned() const {
        return kind_ == Kind::Signed ? static_cast<unsigned long long>(i_) : u_;
    }
    std::u16string_view AsText() const { return s_; }

  private:
    Kind kind_;
    long long i_ = 0;
    unsigned long long u_ = 0;
    std::u16string_view s_;
};

std::u16string SafeFormat(std::u16string_view format, std::initializer_list<FormatArg> args);

// The same for UTF-8 formats (a language text as read from its file).
std::u16string SafeFormat(std::string_view utf8Format, std::initializer_list<FormatArg> args);

// The specifiers of a format text as SafeFormat reads them, in order ("%s", "%02d",
// also unknown ones such as "%n"); "%%" is not one. A translation must keep the
// specifiers of the text it translates.
std::vector<std::string> FormatSpecifiers(std::string_view utf8Format);
