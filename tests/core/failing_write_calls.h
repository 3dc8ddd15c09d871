// The writer's system calls with one step made to fail as a full or broken disk would, for tests of every
// file the program writes whole.
#pragma once

#include <cerrno>
#include <string>

#include "core/whole_file_writer.h"

namespace vandrel::test {

class FailingWriteCalls final : public FileWriteCalls {
public:
    enum class Step { none, create, write, partialWrite, fsync, shortFile, close, rename };

    // The step that fails from now on, and with which errno.
    void failAt(Step step, int error = ENOSPC)
    {
        step_ = step;
        error_ = error;
        partialDone_ = false;
    }

    int createTemporary(std::string& pattern) override
    {
        if (step_ == Step::create) return fail();
        return FileWriteCalls::createTemporary(pattern);
    }

    ssize_t write(int fd, const char* data, std::size_t size) override
    {
        if (step_ == Step::write) return fail();
        // The disk takes the first half, then is full, as a real one fills up in the middle of a write.
        if (step_ == Step::partialWrite) {
            if (partialDone_) return fail();
            partialDone_ = true;
            return FileWriteCalls::write(fd, data, size / 2);
        }
        return FileWriteCalls::write(fd, data, size);
    }

    int fsync(int fd) override { return step_ == Step::fsync ? fail() : FileWriteCalls::fsync(fd); }

    int fstat(int fd, struct stat* info) override
    {
        const int result = FileWriteCalls::fstat(fd, info);
        // A file system that acknowledged the writes but kept less.
        if (result == 0 && step_ == Step::shortFile && info->st_size > 0) --info->st_size;
        return result;
    }

    int close(int fd) override
    {
        const int result = FileWriteCalls::close(fd);
        return step_ == Step::close ? fail() : result;
    }

    int rename(const char* from, const char* to) override
    {
        return step_ == Step::rename ? fail() : FileWriteCalls::rename(from, to);
    }

private:
    int fail()
    {
        errno = error_;
        return -1;
    }

    Step step_ = Step::none;
    int error_ = ENOSPC;
    bool partialDone_ = false;
};

}  // namespace vandrel::test
