#pragma once

#include <QString>

namespace ostrelle {

// A running program's claim on a file it is still writing (an advisory lock). Another copy of the program
// sees the claim and leaves the file alone; the claim ends with its holder, even when that crashes.
class FileClaim {
public:
    FileClaim() = default;
    // Claims path; the result holds nothing when another holder has it, or the file cannot be opened.
    static FileClaim Take(const QString& path);

    FileClaim(FileClaim&& other) noexcept;
    FileClaim& operator=(FileClaim&& other) noexcept;
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;
    ~FileClaim();

    bool Held() const { return fd_ >= 0; }
    void Release();

private:
    explicit FileClaim(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace ostrelle
