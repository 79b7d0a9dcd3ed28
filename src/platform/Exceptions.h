#pragma once

#include <exception>
#include <string>

// The program's error family. Messages are UTF-8 text, ready to show to the user; text from files
// (CP932) is converted before it is put into a message.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char *what() const noexcept override { return message_.c_str(); }
    const std::string &Message() const noexcept { return message_; }

private:
    std::string message_;
};

// A class name and a base class cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TAPISTO_DECLARE_EXCEPTION(Name, Base)                                                                          \
    class Name : public Base {                                                                                         \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
    };
// NOLINTEND(bugprone-macro-parentheses)

// A text that is not an integer: "'%s' は整数ではありません".
class EConvertError : public Exception {
public:
    using Exception::Exception;
    static EConvertError NotAnInteger(const std::string &cp932Text);
};

TAPISTO_DECLARE_EXCEPTION(EInOutError, Exception)
TAPISTO_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
TAPISTO_DECLARE_EXCEPTION(EOutOfMemory, Exception)
// Text that the CP932 code page cannot hold, or bytes that are not CP932.
TAPISTO_DECLARE_EXCEPTION(EEncodingError, Exception)
TAPISTO_DECLARE_EXCEPTION(ESPIFOpenErrorSPI, Exception)
TAPISTO_DECLARE_EXCEPTION(ESPIInvalidAPI, Exception)
TAPISTO_DECLARE_EXCEPTION(ESPIDupCreateSPIs, Exception)
TAPISTO_DECLARE_EXCEPTION(ESPIInvalidSPI, Exception)

// The silent abort: reported to nobody.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

#undef TAPISTO_DECLARE_EXCEPTION

// The text the user is shown for an error, UTF-8: the message of the program's own exceptions, a
// plain Japanese sentence for a lack of memory and for anything that is not a std::exception. The one
// text of an error wherever it leaves the program: a message box, the session bus, the command line.
std::string ErrorMessage(const std::exception_ptr &error);

// Builds a message from a UTF-8 pattern with %s placeholders filled in order.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

// The reason an errno value gives, in Japanese (the C library's texts are English); an uncommon one
// still shows its number.
std::string ErrnoText(int err);
