// Owners of a descriptor and of a stdio stream: closed when the owner goes out of scope.
// Header-only, so that modules and platform libraries alike may use them.
#pragma once

#include <stdio.h>
#include <unistd.h>

#include <utility>

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        reset(std::exchange(o.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        reset();
    }
    int get() const noexcept {
        return fd_;
    }
    explicit operator bool() const noexcept {
        return fd_ >= 0;
    }
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

class UniqueFile {
public:
    explicit UniqueFile(FILE* fp = nullptr) noexcept : fp_(fp) {}
    UniqueFile(UniqueFile&& o) noexcept : fp_(std::exchange(o.fp_, nullptr)) {}
    UniqueFile& operator=(UniqueFile&& o) noexcept {
        reset(std::exchange(o.fp_, nullptr));
        return *this;
    }
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() {
        reset();
    }
    FILE* get() const noexcept {
        return fp_;
    }
    explicit operator bool() const noexcept {
        return fp_ != nullptr;
    }
    void reset(FILE* fp = nullptr) noexcept {
        if (fp_ != nullptr) {
            fclose(fp_);
        }
        fp_ = fp;
    }

private:
    FILE* fp_;
};
