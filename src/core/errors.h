// The emulator's run-time errors. Every event handler catches EmuError at its edge,
// shows what() in one message box and stops there; the program keeps running.
#pragma once
#include <exception>
#include <stdexcept>
#include <string>

namespace lvov {

class EmuError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file could not be opened, read, written or renamed.
class IoError : public EmuError {
public:
    using EmuError::EmuError;
};

// A value fell outside the range an operation accepts.
class RangeError : public EmuError {
public:
    using EmuError::EmuError;
};

// A text could not be converted to a number.
class ConversionError : public EmuError {
public:
    using EmuError::EmuError;
};

// Runs one event handler's work at the edge where errors stop: an EmuError, or any other
// exception the work lets escape, ends the work where it was thrown and its text goes to
// report (an unexpected one marked as such). Every window's handlers run through it.
template <class Work, class Report>
void guarded(Work&& work, Report&& report) {
    try {
        work();
    } catch (const EmuError& e) {
        report(std::string(e.what()));
    } catch (const std::exception& e) {
        report("Unexpected error: " + std::string(e.what()));
    }
}

}  // namespace lvov
