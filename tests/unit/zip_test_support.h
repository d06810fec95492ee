// Helpers shared by the archive tests: a scratch directory per test, whole
// files in and out, and a file seam that logs and can fail chosen calls.
#ifndef TESTS_UNIT_ZIP_TEST_SUPPORT_H
#define TESTS_UNIT_ZIP_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "unit/scratch_tree.h"
#include "zip/extract.h"
#include "zip/fileio.h"

namespace ziptest {

namespace fs = std::filesystem;

// A directory of its own for the running test, named after it, removed
// again at the end.
class Scratch : public ScratchTree {
public:
    Scratch() : ScratchTree(TestName().c_str()) {}

private:
    static std::string TestName()
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("zipt_") + info->test_suite_name() + "_" + info->name();
        for (char &c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    }
};

inline void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An archive of `bytes` written into the scratch directory and opened (null
// `zip` when the open fails, with zipOpen's code in `error`, which a success
// sets to 0); at its end every reference the test still holds is closed.
class OpenArchive {
public:
    OpenArchive(const Scratch &scratch, const std::string &bytes, const char *name = "t.zip")
        : path(scratch.Path(name))
    {
        WriteFile(path, bytes);
        zip = zipOpen(path.c_str(), &error);
    }
    ~OpenArchive()
    {
        for (int left = zip != nullptr ? zip->refCount : 0; left > 0; --left) zipClose(zip);
    }
    OpenArchive(const OpenArchive &) = delete;
    OpenArchive &operator=(const OpenArchive &) = delete;
    operator ZipArchive *() const { return zip; }
    ZipArchive *operator->() const { return zip; }

    std::string path;
    int error = -1;
    ZipArchive *zip;
};

// Logs the calls that pass through the file seam and fails the ones asked
// for; installed for its lifetime. Extraction's workers call it from several
// threads at once, so the log is kept under a lock.
class IoLog {
public:
    IoLog() : before_(fileioInstall(&table_))
    {
        active_ = this;
        zipTestEvent = OnEvent;
    }
    ~IoLog()
    {
        zipTestEvent = nullptr;
        fileioInstall(before_);
        active_ = nullptr;
    }
    IoLog(const IoLog &) = delete;
    IoLog &operator=(const IoLog &) = delete;

    std::vector<unsigned> reads;   // the count asked for by every read
    std::vector<int32_t> readAt;   // the file position of every read
    int opens = 0;
    int seeks = 0;
    int closes = 0;
    int failRead = -1;             // the read (from 0) that fails, -1 for none
    int failSeek = -1;             // the seek (from 0) that fails, -1 for none
    std::set<std::thread::id> writers;  // the threads that wrote file data
    // With the gate set, the first write of file data waits until either
    // the extraction's walk waits for the files in flight (it must, before
    // it touches that name again) or another output file is opened
    // meanwhile, which it counts in `overlaps`. `gateTimedOut`: neither came
    // within a minute.
    bool gateFirstWrite = false;
    int overlaps = 0;
    bool gateTimedOut = false;
    // Called (on the writer's thread) before each output file is created,
    // with its name in its directory.
    void (*beforeCreate)(const char *name) = nullptr;

    // Forgets what was logged so far; failures count from here.
    void Reset()
    {
        reads.clear();
        readAt.clear();
        opens = seeks = closes = 0;
    }

private:
    static IoLog *active_;
    const FileIo *before_;

    static int Open(const char *path, int flags, int permission)
    {
        std::lock_guard<std::mutex> hold(active_->lock_);
        active_->opens++;
        if ((flags & FILEIO_WRONLY) && active_->gateWaiting_) {
            active_->overlaps++;
            active_->gate_.notify_all();
        }
        return fileioSystem()->open(path, flags, permission);
    }
    static int64_t Seek(int fd, int64_t offset, int whence)
    {
        if (active_->seeks++ == active_->failSeek) return -1;
        return fileioSystem()->seek(fd, offset, whence);
    }
    static int Read(int fd, void *buffer, unsigned count)
    {
        std::lock_guard<std::mutex> hold(active_->lock_);
        int n = static_cast<int>(active_->reads.size());
        active_->reads.push_back(count);
        active_->readAt.push_back(fileioSystem()->seek(fd, 0, SEEK_CUR));
        if (n == active_->failRead) return -1;
        return fileioSystem()->read(fd, buffer, count);
    }
    static int ReadAt(int fd, void *buffer, unsigned count, int64_t position)
    {
        std::lock_guard<std::mutex> hold(active_->lock_);
        int n = static_cast<int>(active_->reads.size());
        active_->reads.push_back(count);
        active_->readAt.push_back(static_cast<int32_t>(position));
        if (n == active_->failRead) return -1;
        return fileioSystem()->readAt(fd, buffer, count, position);
    }
    static int Write(int fd, const void *buffer, unsigned count)
    {
        {
            std::unique_lock<std::mutex> hold(active_->lock_);
            active_->writers.insert(std::this_thread::get_id());
            if (active_->gateFirstWrite && !active_->gateUsed_) {
                active_->gateUsed_ = active_->gateWaiting_ = true;
                active_->gateTimedOut = !active_->gate_.wait_for(
                    hold, std::chrono::seconds(60),
                    [] { return active_->overlaps > 0 || active_->walkWaits_; });
                active_->gateWaiting_ = false;
            }
        }
        return fileioSystem()->write(fd, buffer, count);
    }
    static int Close(int fd)
    {
        std::lock_guard<std::mutex> hold(active_->lock_);
        active_->closes++;
        return fileioSystem()->close(fd);
    }
    static int OpenDirectory(int parent, const char *name)
    {
        return fileioSystem()->openDirectory(parent, name);
    }
    static int CreateBelow(int directory, const char *name, int64_t size)
    {
        {
            std::lock_guard<std::mutex> hold(active_->lock_);
            active_->opens++;
            if (active_->gateWaiting_) {
                active_->overlaps++;
                active_->gate_.notify_all();
            }
        }
        if (active_->beforeCreate != nullptr) active_->beforeCreate(name);
        return fileioSystem()->createFile(directory, name, size);
    }

    std::mutex lock_;
    std::condition_variable gate_;
    bool gateUsed_ = false;
    bool gateWaiting_ = false;
    bool walkWaits_ = false;

    static void OnEvent(ZipTestEvent event, int)
    {
        if (event != ZipTestEvent::WalkWaits) return;
        std::lock_guard<std::mutex> hold(active_->lock_);
        active_->walkWaits_ = true;
        active_->gate_.notify_all();
    }
    // No views: every block is read and written through the calls counted.
    const FileIo table_ = {Open,          Seek,        Read,    ReadAt,  Write,
                           Close,         OpenDirectory, CreateBelow, nullptr, nullptr};
};

inline IoLog *IoLog::active_ = nullptr;

} // namespace ziptest

#endif
