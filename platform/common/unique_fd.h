// SPDX-License-Identifier: Apache-2.0
// Owning handles for descriptors and streams: whatever a function opens is closed on
// every path out of it.
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
    // Hands the descriptor on (to a stream that will close it).
    int release() noexcept {
        return std::exchange(fd_, -1);
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
    // fclose now, for a caller that must know whether the close succeeded.
    int close() noexcept {
        FILE* fp = std::exchange(fp_, nullptr);
        return fp != nullptr ? fclose(fp) : EOF;
    }

private:
    FILE* fp_;
};
