#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace ostrelle {

// Why an operation failed. Each code has one sentence for the learner (FailureMessage).
enum class FailureCode {
    // Files
    Missing,      // no file of that name
    CannotRead,   // no permission, or the read failed (or, where not told apart, missing)
    CannotWrite,  // the folder or file cannot be written, the disk is full
    NotAFile,     // a folder, FIFO or device
    TooLarge,     // over the size the program handles
    Empty,        // a file of no bytes
    TimedOut,     // measuring took longer than allowed
    // Documents
    UnknownKind,         // an extension no reader handles
    NotWordDocument,     // a .doc that is not an OLE2 Word file (a .docx zip, say)
    UnsupportedVersion,  // Word 6/95 and older
    Encrypted,           // password-protected
    Damaged,             // streams missing, offsets or counts out of bounds
    // The playlist database
    DatabaseCannotOpen,   // the file or its folder cannot be opened or created
    DatabaseDamaged,      // wrong key, corrupt, or not a database at all; the file is left untouched
    DatabaseBusy,         // another program holds the lock past the busy timeout
    DatabaseRefused,      // a change the table refuses, e.g. a second row for the same path
    DatabaseBadCommand,   // a command text the store does not run
    DatabaseIo,           // disk full, read-only file, other I/O failure
    DatabaseUnavailable,  // it could not be opened at start-up (already told then)
    // Audio devices
    NoInputDevice,   // recording could not start: no input, or the sound server is not there
    NoOutputDevice,  // the player plays, but to no sound output: nothing can be heard
    DeviceFailed,    // the device stopped or refused in the middle
    DeviceNotReady,  // a command came before the device was opened, or in the wrong state
    NotAudio,        // a file that cannot be played or measured as audio
    NoSound,         // a file that decodes to no sound at all
};

// A failure: its code and, where there is one, a detail naming the particular cause (a file name, the
// system's own words, which may be English).
struct Failure {
    FailureCode code = FailureCode::CannotRead;
    QString detail;
};

// What the learner reads for a failure: the code's Chinese sentence, then the detail on a line of its own.
QString FailureMessage(const Failure& failure);
// The same after a sentence of the caller's that says what was being done ("录音没有保存。").
QString FailureMessage(const QString& whatFailed, const Failure& failure);

// A value, or the failure that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    const T& value() const { return std::get<0>(state_); }
    T& value() { return std::get<0>(state_); }
    const Failure& failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

// Success, or the failure.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    const Failure& failure() const { return failure_.value(); }

private:
    std::optional<Failure> failure_;
};

}  // namespace ostrelle
