// The emulator's run-time errors. Every event handler catches EmuError at its edge,
// shows what() in one message box and stops there; the program keeps running.
#pragma once
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

}  // namespace lvov
