// The exception family every failure of the system travels in.
//
// `code` is the error's level as the error handler reads it: 0 report and
// continue, 1 report and stop the run, 2 internal error. `system_error` is
// the number the handler looks up in its message maps (errno for
// `tk_exception_ex`, the engine's number for engine exceptions).
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class tk_exception : public std::exception {
  public:
    explicit tk_exception(int code);
    tk_exception(const std::string& message, int code);
    tk_exception(const char* message, int code);
    tk_exception(const std::u16string& message, int code);
    ~tk_exception() override = default;

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const { return message_; }
    uint32_t system_error() const { return system_error_; }
    int code() const { return code_; }

  protected:
    tk_exception(const std::string& message, int code, uint32_t system_error);
    void set_message(const std::string& message);
    void set_system_error(uint32_t e) { system_error_ = e; }

  private:
    std::string message_;
    uint32_t system_error_ = 0;
    int code_;
};

// Raised right after a failing system call: takes errno first thing, and the
// C library's text for it as the message.
class tk_exception_ex : public tk_exception {
  public:
    tk_exception_ex();

  private:
    // The public constructor reads errno before anything else runs (even
    // before the base's message is built) and hands it on to this one.
    explicit tk_exception_ex(int error);
};

// A failure to write a file of a run's output: no space, a quota, a file
// past the size limit, an I/O error. Raised by the byte sinks, spools and
// publication of the toolkit, and by any writer of a workbook format; the
// layers between them and the driver let it through as it is. The driver
// ends the run at once with one report naming the destination, and
// publishes nothing. Level 1; errno as the system error.
class tk_write_failure : public tk_exception_ex {
  public:
    tk_write_failure() = default;  // takes errno, as tk_exception_ex does
};

// An internal error: a broken precondition. The message encodes the source
// position ("file\line" as lower-case hex) so a user can send it back.
class tk_mail_assertion : public tk_exception {
  public:
    tk_mail_assertion(const char* source, int line);
    // The hex code of "source\line", as it appears after "code=".
    static std::string encode_position(const char* source, int line);
};

// Ends a run after its error has been reported; catchers report nothing.
class tk_final_exception : public std::exception {
  public:
    tk_final_exception();
};
